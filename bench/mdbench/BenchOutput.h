#pragma once

#include <QString>

#include <chrono>
#include <cstdio>
#include <ctime>

namespace ovra::bench {

// One measurement a line, as JSON, so runs can be collected and compared by tools.
inline void report(const char* bench, const QString& metric, double value, const char* unit)
{
    std::printf("{\"bench\": \"%s\", \"metric\": \"%s\", \"value\": %.6g, \"unit\": \"%s\"}\n",
                bench, metric.toUtf8().constData(), value, unit);
    std::fflush(stdout);
}

class Stopwatch {
public:
    Stopwatch()
        : m_start(std::chrono::steady_clock::now())
    {
    }
    double elapsedMs() const
    {
        return std::chrono::duration<double, std::milli>(std::chrono::steady_clock::now() - m_start)
            .count();
    }

private:
    std::chrono::steady_clock::time_point m_start;
};

// A clock's reading in milliseconds.
inline double clockMs(clockid_t clock)
{
    timespec now{};
    clock_gettime(clock, &now);
    return double(now.tv_sec) * 1e3 + double(now.tv_nsec) / 1e6;
}

// The calling thread's own CPU time: what a piece of work costs whatever else
// the machine is doing (on a shared machine wall-clock figures also count
// waiting for a core).
inline double threadCpuMs()
{
    return clockMs(CLOCK_THREAD_CPUTIME_ID);
}

} // namespace ovra::bench
