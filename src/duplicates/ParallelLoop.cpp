#include "ParallelLoop.h"

#include <QSemaphore>
#include <QThreadPool>

#include <atomic>
#include <memory>

#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ovra {

namespace {

// A nice value like the desktop's background services: scans yield to the
// window and to whatever else the user runs.
constexpr int kLowPriorityNice = 10;

} // namespace

void lowerThreadPriority()
{
    thread_local bool isLowered = false;
    if (isLowered) return;
    isLowered = true;
    // On Linux a nice value set through the thread id applies to that thread alone.
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    const int current = ::getpriority(PRIO_PROCESS, tid);
    if (current < kLowPriorityNice) ::setpriority(PRIO_PROCESS, tid, kLowPriorityNice);
}

void parallelFor(QThreadPool* pool, int threads, qsizetype count,
                 const std::function<void(qsizetype)>& body, bool lowPriority)
{
    if (count <= 0) return;
    struct Shared {
        std::atomic<qsizetype> next{0};
        QSemaphore finished;
    };
    auto shared = std::make_shared<Shared>();
    const auto drain = [shared, count, &body]() {
        for (qsizetype i = shared->next.fetch_add(1); i < count; i = shared->next.fetch_add(1))
            body(i);
    };
    int borrowed = 0;
    if (pool) {
        const qsizetype wanted = std::min<qsizetype>(qsizetype(threads) - 1, count - 1);
        for (qsizetype t = 0; t < wanted; ++t) {
            pool->start([shared, drain, lowPriority]() {
                if (lowPriority) lowerThreadPriority();
                drain();
                shared->finished.release();
            });
            ++borrowed;
        }
    }
    drain();
    // `body` lives on this frame: every borrowed thread must be done with it.
    shared->finished.acquire(borrowed);
}

} // namespace ovra
