#pragma once

#include <QString>

#include <chrono>
#include <cstdio>

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

} // namespace ovra::bench
