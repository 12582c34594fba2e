#include "Background.h"

#include <QSemaphore>
#include <QThread>

#include <algorithm>
#include <array>
#include <atomic>
#include <cerrno>
#include <memory>

#include <sched.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ovra::background {
namespace {

constexpr std::size_t kKinds = std::size_t(Pool::hashing) + 1;
// Folder listings, Trash moves and saves are short and mostly wait on the disk.
constexpr int kFileThreads = 2;
// Recognition engines are large: two at once are plenty.
constexpr int kRecognitionThreads = 2;
constexpr int kThumbnailThreads = 4;

int cores()
{
    return std::max(1, QThread::idealThreadCount());
}

// Never the whole machine: the GUI thread and Qt's own pool keep a core.
int leavingACore(int wanted)
{
    return std::clamp(wanted, 1, std::max(1, cores() - 1));
}

} // namespace

int threadCount(Pool kind)
{
    switch (kind) {
    case Pool::index: return leavingACore(cores() / 2);
    case Pool::extraction: return leavingACore(cores() / 4);
    case Pool::recognition: return leavingACore(kRecognitionThreads);
    case Pool::thumbnails: return leavingACore(std::min(kThumbnailThreads, cores() / 2));
    case Pool::files: return leavingACore(kFileThreads);
    case Pool::hashing: return leavingACore(cores() / 2);
    }
    return 1;
}

bool isIdle(Pool kind)
{
    return kind == Pool::extraction || kind == Pool::recognition || kind == Pool::hashing;
}

QThreadPool& pool(Pool kind)
{
    // Made once and never destroyed: a pool outliving the application object
    // is harmless, whereas one destroyed during exit could wait on a thread that
    // static destructors already tore down. Every owner waits for its own work.
    static const std::array<QThreadPool*, kKinds> pools = [] {
        std::array<QThreadPool*, kKinds> made{};
        for (std::size_t i = 0; i < kKinds; ++i) {
            made[i] = new QThreadPool;
            made[i]->setMaxThreadCount(threadCount(Pool(i)));
        }
        return made;
    }();
    return *pools[std::size_t(kind)];
}

void enterIdlePriority()
{
    thread_local const bool lowered = [] {
        // Test runs on a machine that other programs keep busy ask for normal
        // priority: idle work there gets no processor at all, however long a
        // test waits for it.
        if (qEnvironmentVariable("OVRA_BACKGROUND_PRIORITY") == u"normal") return false;
        sched_param param{};
        const bool cpu = ::sched_setscheduler(0, SCHED_IDLE, &param) == 0;
        constexpr int kWhoThread = 1; // IOPRIO_WHO_PROCESS, which names a thread by its id
        constexpr int kClassIdle = 3;
        constexpr int kClassShift = 13;
        const bool io = ::syscall(SYS_ioprio_set, kWhoThread, 0, kClassIdle << kClassShift) == 0;
        return cpu && io;
    }();
    Q_UNUSED(lowered);
}

namespace {

// Whether the calling thread was lowered (idle scheduling or a raised nice
// value): its loop's helpers must not take the processor from the user either.
bool runsLowered()
{
    errno = 0;
    const int nice = ::getpriority(PRIO_PROCESS, id_t(::syscall(SYS_gettid)));
    return ::sched_getscheduler(0) == SCHED_IDLE || (errno == 0 && nice > 0);
}

// The loops' helpers, one pool for callers at normal priority and one whose
// threads lower themselves for good: an unprivileged thread cannot take back a
// priority it gave up, so a helper never changes back and forth. A core each:
// how many a loop takes is its caller's count, and a loop asked for from the
// GUI thread runs on helpers alone.
QThreadPool& loopPool(bool lowered)
{
    // Made once and never destroyed, as the other pools.
    static const std::array<QThreadPool*, 2> pools = [] {
        std::array<QThreadPool*, 2> made{};
        for (QThreadPool*& pool : made) {
            pool = new QThreadPool;
            pool->setMaxThreadCount(cores());
        }
        return made;
    }();
    return *pools[lowered ? 1 : 0];
}

void forEachOn(QThreadPool& pool, int threads, qsizetype count, bool idle,
               const std::function<void(qsizetype)>& body)
{
    if (count <= 0) return;
    auto next = std::make_shared<std::atomic<qsizetype>>(0);
    const auto drain = [next, count, &body] {
        for (qsizetype i = next->fetch_add(1); i < count; i = next->fetch_add(1))
            body(i);
    };
    std::vector<QFuture<void>> helpers;
    const qsizetype wanted = std::min<qsizetype>(qsizetype(threads) - 1, count - 1);
    for (qsizetype t = 0; t < wanted; ++t) {
        auto helper = drain;
        if (idle)
            helpers.push_back(run(pool, detail::lowered(std::move(helper))));
        else
            helpers.push_back(run(pool, std::move(helper)));
    }
    drain();
    // `body` lives on the caller's frame, so every helper must be done with it.
    // Waiting for one still queued runs it here, where being cancelled it
    // returns at once: the loop never waits for a free pool thread.
    for (QFuture<void>& helper : helpers) {
        cancel(helper);
        helper.waitForFinished();
    }
}

} // namespace

void forEach(QThreadPool& pool, int threads, qsizetype count,
             const std::function<void(qsizetype)>& body)
{
    forEachOn(pool, threads, count, false, body);
}

void forEach(Pool kind, qsizetype count, const std::function<void(qsizetype)>& body)
{
    forEachOn(pool(kind), threadCount(kind), count, isIdle(kind), body);
}

void forEach(int threads, qsizetype count, const std::function<void(qsizetype)>& body)
{
    const bool lowered = runsLowered();
    QThreadPool& pool = loopPool(lowered);
    threads = threads > 0 ? threads : cores();
    const QCoreApplication* app = QCoreApplication::instance();
    if (count <= 0 || !app || QThread::currentThread() != app->thread())
        return forEachOn(pool, threads, count, lowered, body);
    // The GUI thread reads no file, so it takes no part: it waits for helpers
    // alone (a test that asks the index directly), on a count rather than on
    // their futures, since waiting for a queued task would run it here.
    auto next = std::make_shared<std::atomic<qsizetype>>(0);
    QSemaphore done;
    const qsizetype helpers = std::min<qsizetype>(threads, count);
    for (qsizetype t = 0; t < helpers; ++t) {
        (void)run(pool, [next, count, &body, &done] {
            for (qsizetype i = next->fetch_add(1); i < count; i = next->fetch_add(1))
                body(i);
            done.release();
        });
    }
    done.acquire(int(helpers));
}

void TaskSet::cancelAll()
{
    for (QFuture<void>& future : m_running)
        cancel(future);
}

void TaskSet::cancelAndWait()
{
    cancelAll();
    for (QFuture<void>& future : m_running)
        future.waitForFinished();
    m_running.clear();
}

bool TaskSet::isEmpty()
{
    forgetFinished();
    return m_running.empty();
}

void TaskSet::forgetFinished()
{
    std::erase_if(m_running, [](const QFuture<void>& future) { return future.isFinished(); });
}

} // namespace ovra::background
