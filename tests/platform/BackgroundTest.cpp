#include "platform/Background.h"
#include "support/QtApp.h"

#include <QCoreApplication>
#include <QFutureInterface>
#include <QSemaphore>
#include <QStringList>
#include <QThread>

#include <gtest/gtest.h>

#include <array>
#include <atomic>
#include <memory>

#include <sched.h>

using namespace ovra;
using background::Pool;

// Qt paints with the global pool: none of ours may be it, and none may take
// every core.
TEST(Background, PoolsArePrivateAndLeaveTheGuiACore)
{
    const int cores = std::max(1, QThread::idealThreadCount());
    for (Pool kind : {Pool::index, Pool::extraction, Pool::recognition, Pool::thumbnails,
                      Pool::files, Pool::hashing}) {
        EXPECT_NE(&background::pool(kind), QThreadPool::globalInstance());
        EXPECT_LE(background::threadCount(kind), std::max(1, cores - 1));
        EXPECT_GE(background::threadCount(kind), 1);
    }
    EXPECT_LE(background::threadCount(Pool::index), std::max(1, cores / 2));
}

TEST(Background, LongWorkRunsAtIdlePriority)
{
    // Each test runs in a process of its own: no pool thread has lowered
    // itself yet, so what the app does is what this sees.
    qunsetenv("OVRA_BACKGROUND_PRIORITY");
    const int idle =
        background::run(Pool::extraction, [] { return sched_getscheduler(0); }).result();
    EXPECT_EQ(idle, SCHED_IDLE);
    const int viaPromise = background::run(Pool::recognition, [](QPromise<int>& promise) {
                               promise.addResult(sched_getscheduler(0));
                           }).result();
    EXPECT_EQ(viaPromise, SCHED_IDLE);
    EXPECT_EQ(background::run(Pool::hashing, [] { return sched_getscheduler(0); }).result(),
              SCHED_IDLE);
    EXPECT_NE(background::run(Pool::index, [] { return sched_getscheduler(0); }).result(),
              SCHED_IDLE);
}

// CTest hands every test the environment that keeps idle work at normal
// priority: beside programs that keep every core busy, a test waiting on idle
// work (and on the helpers it starts, which inherit its priority) would wait
// for ever. Run by hand, without CTest's environment, there is nothing to check.
TEST(Background, TestRunsKeepIdleWorkAtNormalPriority)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) GTEST_SKIP() << "not run through CTest";
    EXPECT_EQ(qEnvironmentVariable("OVRA_BACKGROUND_PRIORITY"), QStringLiteral("normal"));
    EXPECT_NE(background::run(Pool::recognition, [] { return sched_getscheduler(0); }).result(),
              SCHED_IDLE);
}

// The owner's work never outlives it: what runs is waited for, what waits in
// the queue never starts.
TEST(Background, ATaskSetCancelsAndWaitsForItsWorkWhenItGoes)
{
    QThreadPool pool;
    pool.setMaxThreadCount(1);
    QSemaphore started, release;
    std::atomic<bool> finished = false, queuedRan = false;
    auto owner = std::make_unique<background::TaskSet>();
    owner->track(background::run(pool, [&](QPromise<void>& promise) {
        started.release();
        release.acquire();
        while (!promise.isCanceled())
            QThread::msleep(1);
        finished = true;
    }));
    owner->track(background::run(pool, [&] { queuedRan = true; }));
    started.acquire();
    release.release();
    owner.reset();
    EXPECT_TRUE(finished);
    pool.waitForDone();
    EXPECT_FALSE(queuedRan);
}

// A loop started from a task on a full pool must not wait for a free thread of
// that pool: the caller does the work and takes back helpers never started.
TEST(Background, ALoopRunFromItsOwnFullPoolFinishesAndVisitsEachIndexOnce)
{
    QThreadPool pool;
    pool.setMaxThreadCount(2);
    constexpr qsizetype kCount = 1000;
    const auto loop = [&pool] {
        auto visits = std::make_unique<std::atomic<int>[]>(kCount);
        background::forEach(pool, 4, kCount, [&](qsizetype i) { visits[i].fetch_add(1); });
        for (qsizetype i = 0; i < kCount; ++i)
            if (visits[i].load() != 1) return false;
        return true;
    };
    // Both threads of the pool run a loop that asks the same pool for helpers.
    QFuture<bool> first = background::run(pool, loop);
    QFuture<bool> second = background::run(pool, loop);
    EXPECT_TRUE(first.result());
    EXPECT_TRUE(second.result());
    EXPECT_TRUE(loop());

    std::atomic<int> calls = 0;
    background::forEach(Pool::files, 0, [&](qsizetype) { ++calls; });
    EXPECT_EQ(calls.load(), 0);
}

namespace {

// A future whose end the test takes in the two steps a pool thread takes it:
// the state turns finished, and only then are its continuations run.
struct TwoStepFinish : QFutureInterface<int> {
    void markFinished() { QFutureInterfaceBase::reportFinished(); }
    void runContinuations() const { QFutureInterfaceBase::runContinuation(); }
};

} // namespace

// An answer asked for while the thread that finished the work has not yet
// run its continuations is delivered once (it was once delivered twice, the
// second time on a promise moved away, which crashed the GUI thread).
TEST(Background, AnAnswerAskedForAsTheWorkEndsArrivesOnce)
{
    test::ensureApp();
    QObject owner;
    for (const bool isGuiThreadFirst : {true, false}) {
        TwoStepFinish work;
        work.reportStarted();
        work.reportResult(21);
        work.markFinished();
        int calls = 0;
        QFuture<int> doubled;
        const auto ask = [&] {
            doubled = background::then(work.future(), &owner, [&](int answer) {
                ++calls;
                return answer * 2;
            });
        };
        if (isGuiThreadFirst) {
            ask();
            work.runContinuations();
        } else {
            work.runContinuations();
            ask();
        }
        ASSERT_TRUE(test::waitFor(doubled));
        QCoreApplication::processEvents();
        EXPECT_EQ(calls, 1);
        EXPECT_EQ(doubled.result(), 42);
    }
}

namespace {

// Work held on a pool thread until the test lets it answer.
struct HeldWork {
    QSemaphore release;

    QFuture<int> start(int answer)
    {
        return background::run(Pool::files, [this, answer](QPromise<int>& promise) {
            release.acquire();
            if (!promise.isCanceled() && answer >= 0) promise.addResult(answer);
        });
    }
};

} // namespace

// An answer lands on the GUI thread with its owner alive; an owner gone first
// never hears of it, and the continuation's own future says nothing came.
TEST(Background, AnAnswerReachesOnlyALivingOwnerOnTheGuiThread)
{
    HeldWork work;
    auto owner = std::make_unique<QObject>();
    QThread* ranOn = nullptr;
    QFuture<int> doubled = background::then(work.start(21), owner.get(), [&](int answer) {
        ranOn = QThread::currentThread();
        return answer * 2;
    });
    work.release.release();
    ASSERT_TRUE(test::waitFor(doubled));
    EXPECT_EQ(ranOn, QCoreApplication::instance()->thread());
    EXPECT_EQ(doubled.result(), 42);

    bool heard = false;
    QFuture<void> late = background::then(work.start(1), owner.get(), [&](int) { heard = true; });
    owner.reset();
    work.release.release();
    ASSERT_TRUE(test::waitFor(late));
    EXPECT_TRUE(late.isCanceled());
    EXPECT_FALSE(heard);
}

// Cancelled work, and work that ended without an answer, reach the owner as
// `cancelled` alone, whose value the continuation answers; a test owner that
// says no drops both.
TEST(Background, WorkWithoutAnAnswerTakesTheCancelledRoad)
{
    HeldWork work;
    QObject owner;
    QStringList heard;
    const auto answered = [&](int) {
        heard << QStringLiteral("answer");
        return 1;
    };
    const auto cancelled = [&] {
        heard << QStringLiteral("cancelled");
        return -1;
    };

    QFuture<int> asked = work.start(5);
    QFuture<int> afterCancel = background::then(asked, &owner, answered, cancelled);
    asked.cancel();
    work.release.release();
    ASSERT_TRUE(test::waitFor(afterCancel));
    EXPECT_EQ(afterCancel.result(), -1);

    QFuture<int> empty = background::then(work.start(-1), &owner, answered, cancelled);
    work.release.release();
    ASSERT_TRUE(test::waitFor(empty));
    EXPECT_EQ(empty.result(), -1);
    EXPECT_EQ(heard, QStringList({QStringLiteral("cancelled"), QStringLiteral("cancelled")}));

    bool wanted = false;
    QFuture<int> unwanted = background::then(
        work.start(5), [&] { return wanted; }, answered, cancelled);
    work.release.release();
    ASSERT_TRUE(test::waitFor(unwanted));
    EXPECT_TRUE(unwanted.isCanceled());
    EXPECT_EQ(heard.size(), 2);
}

namespace {

// A loop of two whose first body waits for the second to run beside it: true
// only when a helper came, whatever the task pools are doing.
bool ranSideBySide(std::array<int, 2>* policies = nullptr)
{
    QSemaphore secondStarted;
    std::atomic<bool> together = false;
    background::forEach(2, 2, [&](qsizetype i) {
        if (policies) (*policies)[std::size_t(i)] = sched_getscheduler(0);
        if (i == 1)
            secondStarted.release();
        else
            together = secondStarted.tryAcquire(1, int(test::kPatience.count()));
    });
    return together;
}

} // namespace

// The walker's workers run inside an index task that queries wait behind: the
// loop's helpers must not queue behind those tasks.
TEST(Background, ALoopGetsItsHelpersWhileEveryTaskThreadIsBusy)
{
    QSemaphore release;
    std::vector<QFuture<void>> blockers;
    for (Pool kind : {Pool::index, Pool::files, Pool::thumbnails, Pool::hashing})
        for (int i = 0; i < background::threadCount(kind); ++i)
            blockers.push_back(background::run(kind, [&release] { release.acquire(); }));
    EXPECT_TRUE(ranSideBySide());
    release.release(int(blockers.size()));
    for (QFuture<void>& blocker : blockers)
        blocker.waitForFinished();
}

// A loop inside idle work stays idle; one at normal priority gets helpers at
// normal priority, however many idle loops ran before.
TEST(Background, ALoopsHelpersRunAtTheCallersPriority)
{
    qunsetenv("OVRA_BACKGROUND_PRIORITY");
    std::array<int, 2> idle{};
    EXPECT_TRUE(background::run(Pool::hashing, [&idle] { return ranSideBySide(&idle); }).result());
    EXPECT_EQ(idle[0], SCHED_IDLE);
    EXPECT_EQ(idle[1], SCHED_IDLE);

    std::array<int, 2> normal{};
    EXPECT_TRUE(
        background::run(Pool::index, [&normal] { return ranSideBySide(&normal); }).result());
    EXPECT_NE(normal[0], SCHED_IDLE);
    EXPECT_NE(normal[1], SCHED_IDLE);
}
