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
    for (Pool kind :
         {Pool::index, Pool::extraction, Pool::recognition, Pool::thumbnails, Pool::files}) {
        EXPECT_NE(&background::pool(kind), QThreadPool::globalInstance());
        EXPECT_LE(background::threadCount(kind), std::max(1, cores - 1));
        EXPECT_GE(background::threadCount(kind), 1);
    }
    EXPECT_LE(background::threadCount(Pool::index), std::max(1, cores / 2));
}

TEST(Background, LongWorkRunsAtIdlePriority)
{
    const int idle =
        background::run(Pool::extraction, [] { return sched_getscheduler(0); }).result();
    EXPECT_EQ(idle, SCHED_IDLE);
    const int viaPromise = background::run(Pool::recognition, [](QPromise<int>& promise) {
                               promise.addResult(sched_getscheduler(0));
                           }).result();
    EXPECT_EQ(viaPromise, SCHED_IDLE);
    EXPECT_NE(background::run(Pool::index, [] { return sched_getscheduler(0); }).result(),
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
