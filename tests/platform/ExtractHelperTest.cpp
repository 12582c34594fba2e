#include "support/TestHome.h"

#include "platform/FileTime.h"
#include "platform/content/ContentIndex.h"
#include "platform/content/ExtractProtocol.h"

#include <QElapsedTimer>
#include <QFile>

#include <gtest/gtest.h>

#include <sys/stat.h>

#include <thread>

using namespace ovra;
using namespace ovra::content;

namespace {

std::vector<FileStamp> stampsOf(const QStringList& paths)
{
    std::vector<FileStamp> stamps;
    for (const QString& path : paths) {
        struct stat st {};
        ::stat(path.toUtf8().constData(), &st);
        stamps.push_back({path, st.st_size, fileTimeSeconds(st.st_mtim)});
    }
    return stamps;
}

// Makes the helpers started while it lives crash on, or spin forever on, the
// files of the given names.
class HostileHelpers {
public:
    HostileHelpers(const char* crashOn, const char* spinOn)
    {
        qputenv(protocol::kCrashOnEnv, crashOn);
        qputenv(protocol::kSpinOnEnv, spinOn);
    }
    ~HostileHelpers()
    {
        qunsetenv(protocol::kCrashOnEnv);
        qunsetenv(protocol::kSpinOnEnv);
    }
};

class ExtractHelperTest : public ::testing::Test {
protected:
    ContentIndex::Options options(std::chrono::milliseconds deadline) const
    {
        ContentIndex::Options o;
        o.threads = 1; // one helper, so the files after a bad one show its restart
        o.usesHelpers = true;
        o.helperProgram = QStringLiteral(OVRA_EXTRACT_PROGRAM);
        o.helperDeadline = deadline;
        return o;
    }

    test::TestHome m_home;
};

} // namespace

TEST_F(ExtractHelperTest, CrashingAndEndlessFilesAreRejectedOnceAndThePassFinishes)
{
    const QStringList files = {
        m_home.writeFile(QStringLiteral("crash.txt"), "banana crash"),
        m_home.writeFile(QStringLiteral("good-1.txt"), "banana bread"),
        m_home.writeFile(QStringLiteral("endless.txt"), "banana endless"),
        m_home.writeFile(QStringLiteral("good-2.txt"), "banana split"),
    };
    ContentIndex index(options(std::chrono::milliseconds(1000)));
    ASSERT_TRUE(index.isOpen());
    {
        const HostileHelpers hostile("crash.txt", "endless.txt");
        QElapsedTimer timer;
        timer.start();
        const ContentIndex::UpdateResult result = index.update(stampsOf(files));
        EXPECT_LT(timer.elapsed(), 8000);
        EXPECT_TRUE(result.succeeded);
        EXPECT_EQ(result.read, 4u);
        EXPECT_EQ(result.rejected, 2u);
        EXPECT_EQ(result.helperRestarts, 2u);
        EXPECT_EQ(index.matchingPaths(u"banana", false), QSet<QString>({files[1], files[3]}));

        // Recorded as rejected: not tried again while the files stay as they are.
        const ContentIndex::UpdateResult again = index.update(stampsOf(files));
        EXPECT_EQ(again.read, 0u);
        EXPECT_EQ(again.unchanged, 4u);
    }
    // Once it changes, a rejected file is read again (by helpers that no longer
    // crash on it: the running ones keep the environment they started with).
    m_home.writeFile(QStringLiteral("crash.txt"), "banana mended at last");
    ContentIndex later(options(std::chrono::milliseconds(1000)));
    const ContentIndex::UpdateResult changed = later.update(stampsOf(files));
    EXPECT_EQ(changed.read, 1u);
    EXPECT_EQ(changed.rejected, 0u);
    EXPECT_TRUE(later.matchingPaths(u"mended", false).contains(files[0]));
}

TEST_F(ExtractHelperTest, CancellingDoesNotWaitForAStuckFile)
{
    const QStringList files = {m_home.writeFile(QStringLiteral("endless.txt"), "kiwi")};
    ContentIndex index(options(std::chrono::minutes(10)));
    ContentIndex::UpdateResult result;
    {
        const HostileHelpers hostile("", "endless.txt");
        std::atomic_bool cancelled{false};
        std::thread update([&] { result = index.update(stampsOf(files), &cancelled); });
        std::this_thread::sleep_for(std::chrono::milliseconds(300));
        QElapsedTimer timer;
        timer.start();
        cancelled = true;
        update.join();
        EXPECT_LT(timer.elapsed(), 2000);
    }
    EXPECT_TRUE(result.wasCancelled);
    EXPECT_EQ(result.rejected, 0u);
    // The file cut short is not recorded, so the next update reads it.
    const ContentIndex::UpdateResult next = index.update(stampsOf(files));
    EXPECT_EQ(next.read, 1u);
    EXPECT_EQ(index.matchingPaths(u"kiwi", false), QSet<QString>({files[0]}));
}

TEST_F(ExtractHelperTest, APageThatStallsTheParserIsCutOffAtTheDeadline)
{
    // One page whose content stream holds millions of text operators: seconds
    // inside the PDF library, where no budget of ours is checked.
    const QString stall = m_home.path(QStringLiteral("stall.pdf"));
    ASSERT_TRUE(
        QFile::copy(QStringLiteral(OVRA_TEST_CORPUS "/pdf/stall-one-page-6M-operators"), stall));
    const QString fine = m_home.writeFile(QStringLiteral("fine.txt"), "plum");
    ContentIndex index(options(std::chrono::milliseconds(1000)));
    QElapsedTimer timer;
    timer.start();
    const ContentIndex::UpdateResult result = index.update(stampsOf({stall, fine}));
    EXPECT_LT(timer.elapsed(), 5000);
    EXPECT_EQ(result.read, 2u);
    EXPECT_EQ(result.rejected, 1u);
    EXPECT_EQ(index.matchingPaths(u"plum", false), QSet<QString>({fine}));
}
