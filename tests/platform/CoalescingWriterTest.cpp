#include "platform/CoalescingWriter.h"

#include <QCoreApplication>
#include <QSemaphore>
#include <QThread>

#include <gtest/gtest.h>

#include <mutex>
#include <vector>

using namespace ovra;

namespace {

// What the saves did, in the order they ran, and on which threads.
struct Log {
    std::mutex mutex;
    std::vector<int> written;
    bool anyOnCallingThread = false;

    std::function<void()> save(int n, QSemaphore* hold = nullptr)
    {
        return [this, n, hold, caller = QThread::currentThread()] {
            if (hold) hold->acquire();
            std::lock_guard lock(mutex);
            written.push_back(n);
            if (QThread::currentThread() == caller) anyOnCallingThread = true;
        };
    }
};

} // namespace

// While one save runs, the ones asked for meanwhile wait; only the newest of
// them runs after it, so the last save asked for is the last one on disk.
TEST(CoalescingWriter, SavesWaitingBehindARunningOneFoldIntoTheNewest)
{
    Log log;
    QSemaphore running, release;
    CoalescingWriter writer;
    writer.save([&, first = log.save(1)] {
        running.release();
        release.acquire();
        first();
    });
    running.acquire(); // the first save has started and holds its thread
    for (int n = 2; n <= 5; ++n)
        writer.save(log.save(n));
    EXPECT_FALSE(writer.isIdle());
    release.release();
    writer.flush();
    EXPECT_TRUE(writer.isIdle());
    EXPECT_EQ(log.written, (std::vector<int>{1, 5}));
    EXPECT_FALSE(log.anyOnCallingThread);

    // The writer takes saves again once idle.
    writer.save(log.save(6));
    writer.flush();
    EXPECT_EQ(log.written.back(), 6);
}

// An owner that goes with a save still waiting loses nothing: the writer's
// end waits for it.
TEST(CoalescingWriter, GoingWaitsForTheSavesAskedFor)
{
    Log log;
    QSemaphore hold;
    {
        CoalescingWriter writer(background::Pool::index);
        writer.save(log.save(1, &hold));
        writer.save(log.save(2));
        hold.release();
    }
    EXPECT_EQ(log.written.back(), 2);
}
