#include "CpuTime.h"

#include <ctime>

namespace ovra::test {

std::int64_t ThreadCpuTimer::now()
{
    timespec ts{};
    clock_gettime(CLOCK_THREAD_CPUTIME_ID, &ts);
    return std::int64_t(ts.tv_sec) * 1'000'000'000 + ts.tv_nsec;
}

} // namespace ovra::test
