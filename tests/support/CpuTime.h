#pragma once

#include <cstdint>

namespace ovra::test {

// The processor time the calling thread has used since it was made, in
// milliseconds. Work on one thread is held to a budget in these terms, which a
// busy machine stretches far less than the time on the clock: the thread's
// waits for a core are not counted.
class ThreadCpuTimer {
public:
    ThreadCpuTimer() { restart(); }
    void restart() { m_start = now(); }
    std::int64_t elapsedMs() const { return (now() - m_start) / 1'000'000; }

private:
    static std::int64_t now();
    std::int64_t m_start = 0;
};

} // namespace ovra::test
