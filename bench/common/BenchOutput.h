#pragma once

#include <QString>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <vector>

#include <sys/resource.h>

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

// The machine's load over the last minute, printed beside figures a busy
// machine would change; -1 when it cannot be read.
inline double loadAverage()
{
    double load[1] = {0};
    return ::getloadavg(load, 1) == 1 ? load[0] : -1;
}

// The processor time, user and system, of this process (RUSAGE_SELF) or of its
// children that ended (RUSAGE_CHILDREN), in seconds.
inline double cpuSeconds(int who)
{
    rusage usage{};
    ::getrusage(who, &usage);
    return double(usage.ru_utime.tv_sec + usage.ru_stime.tv_sec) +
           double(usage.ru_utime.tv_usec + usage.ru_stime.tv_usec) / 1e6;
}

// The value at or above the fraction `p` (above 0, at most 1) of the values;
// 0 when there are none.
inline double percentile(std::vector<double> values, double p)
{
    if (values.empty()) return 0;
    std::sort(values.begin(), values.end());
    const std::size_t i =
        std::min(values.size() - 1, std::size_t(std::ceil(p * double(values.size()))) - 1);
    return values[i];
}

} // namespace ovra::bench
