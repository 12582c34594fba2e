#include "platform/KeyedTask.h"
#include "support/Wait.h"

#include <QCoreApplication>
#include <QFuture>
#include <QPromise>
#include <QStringList>
#include <QtConcurrent>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;

namespace {

QFuture<QString> ready(const QString& value)
{
    QPromise<QString> promise;
    promise.start();
    promise.addResult(value);
    promise.finish();
    return promise.future();
}

// Lets queued deliveries from worker threads arrive.
void settle()
{
    for (int i = 0; i < 20; ++i) {
        QCoreApplication::processEvents();
        QThread::msleep(2);
    }
}

} // namespace

TEST(KeyedTask, AnOlderGenerationsResultIsDropped)
{
    KeyedTask<QString> task;
    QStringList applied;
    QFuture<QString> first;
    task.run(
        QStringLiteral("/a"),
        [&] { return first = QtConcurrent::run([] { return QStringLiteral("a"); }); },
        [&](const QString& result) { applied << result; });
    // The first result is in, its delivery to this thread still queued.
    while (!first.isFinished())
        QThread::msleep(1);
    task.run(
        QStringLiteral("/b"), [] { return ready(QStringLiteral("b")); },
        [&](const QString& result) { applied << result; });
    settle();
    EXPECT_EQ(applied, QStringList{QStringLiteral("b")});
}

TEST(KeyedTask, LateResultOfAnOldKeyDoesNotReplaceANewerOne)
{
    KeyedTask<int> task;
    QStringList applied;
    auto slow = std::make_shared<QPromise<QString>>();
    slow->start();
    task.run(
        1, [&] { return slow->future(); }, [&](const QString& result) { applied << result; });
    task.run(
        2, [] { return ready(QStringLiteral("new")); },
        [&](const QString& result) { applied << result; });
    settle();
    slow->addResult(QStringLiteral("old"));
    slow->finish();
    settle();
    EXPECT_EQ(applied, QStringList{QStringLiteral("new")});
    // The superseded worker was told, so it could have stopped early.
    EXPECT_TRUE(slow->isCanceled());
}

TEST(KeyedTask, SameKeyDoesNotRestart)
{
    KeyedTask<QString> task;
    int starts = 0;
    auto start = [&] {
        ++starts;
        return ready(QStringLiteral("x"));
    };
    EXPECT_TRUE(task.run(QStringLiteral("k"), start, [](const QString&) {}));
    EXPECT_FALSE(task.run(QStringLiteral("k"), start, [](const QString&) {}));
    EXPECT_EQ(starts, 1);
    task.cancel();
    EXPECT_TRUE(task.run(QStringLiteral("k"), start, [](const QString&) {}));
    EXPECT_EQ(starts, 2);
}

TEST(KeyedTask, ResultAfterTheOwnerIsGoneIsDropped)
{
    bool applied = false;
    auto pending = std::make_shared<QPromise<int>>();
    pending->start();
    {
        KeyedTask<int> task;
        task.run(
            7, [&] { return pending->future(); }, [&](int) { applied = true; });
    }
    pending->addResult(1);
    pending->finish();
    settle();
    EXPECT_FALSE(applied);
}

TEST(KeyedTask, WorkOnAnotherThreadIsAppliedOnTheGuiThread)
{
    KeyedTask<int> task;
    bool onGuiThread = false;
    int value = 0;
    task.run(
        1, [] { return QtConcurrent::run([] { return 42; }); },
        [&](int result) {
            value = result;
            onGuiThread = QThread::currentThread() == QCoreApplication::instance()->thread();
        });
    ASSERT_TRUE(test::eventually([&] { return value != 0; }));
    EXPECT_EQ(value, 42);
    EXPECT_TRUE(onGuiThread);

    bool voidApplied = false;
    task.run(
        2, [] { return QtConcurrent::run([] {}); }, [&] { voidApplied = true; });
    EXPECT_TRUE(test::eventually([&] { return voidApplied; }));
}

TEST(KeyedTask, MovingOnFromAnAnswerAlreadyAppliedIsSafe)
{
    // Cancelling a future whose continuation has already run reaches freed
    // memory on Qt 6.4; a newer key must leave such a future alone.
    KeyedTask<int> task;
    QStringList applied;
    for (int key = 1; key <= 20; ++key) {
        task.run(
            key, [key] { return QtConcurrent::run([key] { return QString::number(key); }); },
            [&](const QString& result) { applied << result; });
        ASSERT_TRUE(test::eventually([&] { return applied.size() == key; }));
    }
    EXPECT_EQ(applied.size(), 20);
    EXPECT_EQ(applied.last(), QStringLiteral("20"));
}

// Work that streams answers across keys: each answer is tested with the key it
// was made for, so only those of the key moved to last are wanted, and a run
// for that key afterwards neither restarts it nor drops its answers.
TEST(KeyedTask, MovingOnDropsTheStreamedAnswersOfOlderKeys)
{
    KeyedTask<int> task;
    EXPECT_TRUE(task.moveTo(100));
    const std::function<bool()> at100 = task.stillWanted();
    EXPECT_FALSE(task.moveTo(100)) << "the same key";
    EXPECT_TRUE(at100());

    EXPECT_TRUE(task.moveTo(200));
    const std::function<bool()> at200 = task.stillWanted();
    EXPECT_FALSE(at100());
    EXPECT_TRUE(at200());
    EXPECT_EQ(task.key(), std::optional<int>(200));

    bool started = false;
    EXPECT_FALSE(task.run(
        200,
        [&] {
            started = true;
            return ready(QString());
        },
        [](const QString&) {}));
    EXPECT_FALSE(started);
    EXPECT_TRUE(at200());

    EXPECT_TRUE(task.moveTo(100));
    EXPECT_FALSE(at100()) << "an answer made before moving away stays unwanted";
    EXPECT_FALSE(at200());
}
