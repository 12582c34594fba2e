#include "ThreadCpuClock.h"

#include <ctime>

namespace ovra {

ThreadCpuClock::time_point ThreadCpuClock::now() noexcept
{
    timespec spent{};
    ::clock_gettime(CLOCK_THREAD_CPUTIME_ID, &spent);
    return time_point(std::chrono::seconds(spent.tv_sec) + std::chrono::nanoseconds(spent.tv_nsec));
}

} // namespace ovra
