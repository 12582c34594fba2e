#include "platform/Background.h"

#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

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
