#pragma once

#include <chrono>
#include <functional>

namespace ovra {

// The calling thread's processor time: the work it has done. Every budget that
// guards against a hostile file counts it, never the wall clock: a busy machine
// that keeps a reader waiting for a processor spends the wall clock, not this,
// and must not cut a read short and so change a file's answer.
struct ThreadCpuClock {
    using duration = std::chrono::nanoseconds;
    using rep = duration::rep;
    using period = duration::period;
    using time_point = std::chrono::time_point<ThreadCpuClock>;
    static constexpr bool is_steady = true;
    static time_point now() noexcept;
};

// Where a budget reads its thread's processor time: ThreadCpuClock::now, or a
// test's own, which spends it or holds it still at will.
using CpuTimeSource = std::function<ThreadCpuClock::time_point()>;

} // namespace ovra
