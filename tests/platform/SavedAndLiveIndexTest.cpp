#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/ChildProcesses.h"
#include "support/FixtureFiles.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>

#include <gtest/gtest.h>

#include <atomic>
#include <ctime>
#include <functional>
#include <future>

#include <unistd.h>

using namespace ovra;
using namespace ovra::md;
using ovra::test::eventually;
using ovra::test::pngBytes;
using ovra::test::TestHome;

namespace {

class SavedAndLiveIndexTest : public ::testing::Test {
protected:
    QStringList all(MetadataIndex& index, const QString& scope)
    {
        const auto r = index.query(Query::parse(QStringLiteral("kMDItemFSName == '*'")),
                                   {home.path(scope)}, Attr::FSName);
        QStringList out;
        for (std::size_t i = 0; i < r.count(); ++i)
            out << QDir(home.root()).relativeFilePath(r.path(i));
        out.sort();
        return out;
    }

    QString tablesFile() const { return xdg::appCacheDir() + "/metadata-index.tables"; }

    // Builds an index of Documents and lets it save its tables on the way out.
    void buildAndClose()
    {
        MetadataIndex index;
        ASSERT_FALSE(all(index, "Documents").isEmpty());
    }

    TestHome home;
};

} // namespace

TEST_F(SavedAndLiveIndexTest, AStartAnswersFromTheSavedTablesThenCatchesUpWithTheDisk)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Documents/Pictures/wide.png", pngBytes(640, 200));
    buildAndClose();
    ASSERT_TRUE(QFile::exists(tablesFile()));

    // Changed while the app was closed.
    home.writeFile("Documents/Pictures/late.txt", "b");
    QFile::remove(home.path("Documents/a.txt"));

    MetadataIndex index;
    std::atomic_int changes = 0;
    index.addChangeHandler([&] { ++changes; });
    // The first answer comes from the file, untouched by the walk it spares.
    const auto png = index.query(Query::parse(QStringLiteral("kMDItemPixelWidth == 640")),
                                 {home.path("Documents")}, Attr::FSName);
    ASSERT_EQ(png.count(), 1u);
    const Item item = png.item(0);
    EXPECT_EQ(item.contentType, QStringLiteral("public.png"));
    EXPECT_EQ(item.pixelHeight, 200);
    EXPECT_EQ(index.stats().contentReads, 0u);

    EXPECT_TRUE(eventually([&] {
        return all(index, "Documents") ==
               QStringList({"Documents/Pictures", "Documents/Pictures/late.txt",
                            "Documents/Pictures/wide.png"});
    }));
    // The listener hears of it once the new tables are out, not before.
    EXPECT_TRUE(eventually([&] { return changes.load() >= 1; }));
    EXPECT_EQ(index.stats().contentReads, 0u) << "the unchanged picture is not read again";
}

TEST_F(SavedAndLiveIndexTest, ChangesMadeWhileTheCatchUpLooksAtTheDiskShowAtOnceAndOutlastIt)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Documents/Sub/b.txt", "b");
    buildAndClose();
    home.writeFile("Documents/Sub/late.txt", "changed while the app was closed");

    // The catch-up of a large home on a busy machine takes many seconds: here
    // it is held until the live changes made meanwhile have been seen.
    std::atomic_bool catchingUp = false;
    std::promise<void> release;
    std::shared_future<void> released = release.get_future().share();
    MetadataIndex::Options options;
    options.beforeCatchUp = [&catchingUp, released] {
        catchingUp = true;
        released.wait_for(ovra::test::kPatience);
    };
    MetadataIndex index(options);
    // Released before the index waits for its catch-up, whatever failed.
    struct Gate {
        std::promise<void>& promise;
        bool isOpen = false;
        void open()
        {
            if (!std::exchange(isOpen, true)) promise.set_value();
        }
        ~Gate() { open(); }
    } gate{release};

    ASSERT_EQ(all(index, "Documents"),
              QStringList({"Documents/Sub", "Documents/Sub/b.txt", "Documents/a.txt"}));
    ASSERT_TRUE(eventually([&] { return catchingUp.load(); }));

    home.writeFile("Documents/live.txt", "l");
    ASSERT_TRUE(QFile::remove(home.path("Documents/a.txt")));
    EXPECT_TRUE(eventually([&] {
        const QStringList now = all(index, "Documents");
        return now.contains("Documents/live.txt") && !now.contains("Documents/a.txt");
    })) << "a live change waited for the catch-up";

    gate.open();
    // The caught-up tables keep what the follower applied while they were made.
    EXPECT_TRUE(eventually([&] {
        return all(index, "Documents") ==
               QStringList({"Documents/Sub", "Documents/Sub/b.txt", "Documents/Sub/late.txt",
                            "Documents/live.txt"});
    }));
}

TEST_F(SavedAndLiveIndexTest, AnIndexThatReadsItsSavedStateLaterAnswersFromItAndEndsUnasked)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "a");
    buildAndClose();
    MetadataIndex::Options options;
    options.readsSavedLater = true;
    {
        MetadataIndex unasked(options);
    }
    // The first query starts the reading it waits for.
    MetadataIndex index(options);
    ASSERT_EQ(all(index, "Documents"), QStringList({"Documents/a.txt"}));
    EXPECT_EQ(index.stats().contentReads, 0u);
}

TEST_F(SavedAndLiveIndexTest, TheFirstQueryTakesUpEverySavedTableSoLaterScopesWaitForNoCatchUp)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Music/b.txt", "b");
    home.writeFile("Music/cover.png", pngBytes(300, 300));
    {
        MetadataIndex index;
        ASSERT_EQ(all(index, "Documents").size(), 1);
        ASSERT_EQ(all(index, "Music").size(), 2);
    }

    MetadataIndex index;
    ASSERT_EQ(all(index, "Documents"), QStringList({"Documents/a.txt"}));
    // Music came with the file, not from a walk of its own behind the catch-up.
    EXPECT_EQ(index.stats().files, 3u);
    const auto cover = index.query(Query::parse(QStringLiteral("kMDItemPixelWidth == 300")),
                                   {home.path("Music")}, Attr::FSName);
    ASSERT_EQ(cover.count(), 1u);
    EXPECT_EQ(index.stats().contentReads, 0u);
}

TEST_F(SavedAndLiveIndexTest, EverySavedTableCatchesUpWithWhatChangedWhileTheAppWasClosed)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Music/b.txt", "b");
    {
        MetadataIndex index;
        index.ensureScopes({home.path("Documents"), home.path("Music")});
        ASSERT_EQ(all(index, "Music").size(), 1);
    }
    home.writeFile("Documents/late.txt", "l");
    home.writeFile("Music/late.txt", "l");

    MetadataIndex index;
    EXPECT_TRUE(eventually([&] {
        return all(index, "Documents") == QStringList({"Documents/a.txt", "Documents/late.txt"}) &&
               all(index, "Music") == QStringList({"Music/b.txt", "Music/late.txt"});
    }));
}

TEST_F(SavedAndLiveIndexTest, ADamagedOrOlderFileIsIgnoredAndTheScopeWalkedAgain)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Documents/Sub/b.txt", "b");
    buildAndClose();
    QFile file(tablesFile());
    ASSERT_TRUE(file.open(QIODevice::ReadOnly));
    const QByteArray good = file.readAll();
    file.close();
    ASSERT_GT(good.size(), 64);

    QByteArray flipped = good;
    flipped[flipped.size() / 2] = char(flipped[flipped.size() / 2] ^ 0x40);
    QByteArray older = good;
    older[4] = 0; // the version
    const QList<QByteArray> damaged = {
        flipped, good.left(good.size() - 9), older, good.left(10), QByteArray(), good + "x"};
    int round = 0;
    for (const QByteArray& bytes : damaged) {
        SCOPED_TRACE(round);
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(bytes);
        file.close();
        const QString added = QStringLiteral("Documents/new%1.txt").arg(round++);
        home.writeFile(added, "n");
        // Nothing stale: the answer is a fresh walk's.
        MetadataIndex index;
        EXPECT_TRUE(all(index, "Documents").contains(added));
    }
}

TEST_F(SavedAndLiveIndexTest, CreatedChangedRenamedAcrossFoldersAndDeletedFilesShowSoon)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/Work/keep.txt", "k");
    home.makeFolder("Documents/Archive");
    MetadataIndex index;
    std::atomic_int changes = 0;
    index.addChangeHandler([&] { ++changes; });
    ASSERT_EQ(all(index, "Documents"),
              QStringList({"Documents/Archive", "Documents/Work", "Documents/Work/keep.txt"}));
    // Each change reaches the listener at some time after it was made: changes
    // close together may come as one notice, so only that one came is known.
    int before = changes;
    const auto toldOfIt = [&] {
        const bool told = eventually([&] { return changes.load() > before; });
        before = changes;
        return told;
    };

    home.writeFile("Documents/Work/report.png", pngBytes(100, 50));
    EXPECT_TRUE(
        eventually([&] { return all(index, "Documents").contains("Documents/Work/report.png"); }));
    EXPECT_TRUE(toldOfIt());

    // Written again in place by another program: the same name, new content.
    home.writeFile("Documents/Work/report.png", pngBytes(300, 50));
    EXPECT_TRUE(eventually([&] {
        return index
                   .query(Query::parse(QStringLiteral("kMDItemPixelWidth == 300")),
                          {home.path("Documents")}, Attr::FSName)
                   .count() == 1;
    }));
    EXPECT_TRUE(toldOfIt());

    ASSERT_TRUE(QFile::rename(home.path("Documents/Work/report.png"),
                              home.path("Documents/Archive/report 2024.png")));
    EXPECT_TRUE(eventually([&] {
        const QStringList now = all(index, "Documents");
        return now.contains("Documents/Archive/report 2024.png") &&
               !now.contains("Documents/Work/report.png");
    }));
    EXPECT_TRUE(toldOfIt());

    ASSERT_TRUE(QFile::remove(home.path("Documents/Archive/report 2024.png")));
    EXPECT_TRUE(eventually([&] {
        return all(index, "Documents") ==
               QStringList({"Documents/Archive", "Documents/Work", "Documents/Work/keep.txt"});
    }));
    EXPECT_TRUE(toldOfIt());
}

TEST_F(SavedAndLiveIndexTest, AFolderMovedIntoAScopeIsFollowedAndOneMovedOutIsForgotten)
{
    const UserFile::AllowOnThisThread directReads; // a blocking reader, called as a worker would
    home.writeFile("Documents/a.txt", "a");
    home.writeFile("Elsewhere/Album/one.txt", "1");
    home.writeFile("Elsewhere/Album/Disc/two.txt", "2");
    MetadataIndex index;
    ASSERT_EQ(all(index, "Documents"), QStringList{"Documents/a.txt"});

    ASSERT_TRUE(QDir().rename(home.path("Elsewhere/Album"), home.path("Documents/Album")));
    EXPECT_TRUE(eventually(
        [&] { return all(index, "Documents").contains("Documents/Album/Disc/two.txt"); }));
    // Its folders are watched now too.
    home.writeFile("Documents/Album/Disc/three.txt", "3");
    EXPECT_TRUE(eventually(
        [&] { return all(index, "Documents").contains("Documents/Album/Disc/three.txt"); }));

    ASSERT_TRUE(QDir().rename(home.path("Documents/Album"), home.path("Elsewhere/Album")));
    EXPECT_TRUE(
        eventually([&] { return all(index, "Documents") == QStringList{"Documents/a.txt"}; }));
    // And no longer: a change out there leaves the index alone. The watches
    // report in order, so once a later change inside the scope shows, the
    // one out there has been seen too.
    home.writeFile("Elsewhere/Album/four.txt", "4");
    home.writeFile("Documents/b.txt", "b");
    EXPECT_TRUE(eventually([&] { return all(index, "Documents").contains("Documents/b.txt"); }));
    EXPECT_EQ(all(index, "Documents"), QStringList({"Documents/a.txt", "Documents/b.txt"}));
}

namespace {
std::atomic_int limitMessages = 0;
void countLimitMessages(QtMsgType, const QMessageLogContext& context, const QString& message)
{
    if (QByteArray(context.category) == "ovra.index" && message.contains("limit")) ++limitMessages;
}
} // namespace

TEST_F(SavedAndLiveIndexTest, PastTheWatchLimitTheIndexLooksBeforeEachQueryAndSaysSoOnce)
{
    // The files of ours below are read and saved here, as a pool thread would.
    const UserFile::AllowOnThisThread directReads;
    home.writeFile("Documents/A/a.txt", "a");
    home.writeFile("Documents/B/b.txt", "b");
    home.writeFile("Documents/C/c.txt", "c");
    limitMessages = 0;
    const QtMessageHandler previous = qInstallMessageHandler(countLimitMessages);
    {
        MetadataIndex::Options options;
        options.watchLimit = 2; // of four folders
        MetadataIndex index(options);
        EXPECT_EQ(all(index, "Documents").size(), 6);
        for (const char* name : {"A/new.txt", "B/new.txt", "C/new.txt"})
            home.writeFile(QStringLiteral("Documents/") + name, "n");
        // The watches are set behind the first answer, at a time of their own.
        // At least one of these folders has none, so nothing but the query's own
        // look can find its file.
        EXPECT_TRUE(eventually([&] { return all(index, "Documents").size() == 9; }));
        // From then on, no waiting: the query itself finds what is new.
        home.writeFile("Documents/C/more.txt", "m");
        EXPECT_EQ(all(index, "Documents").size(), 10);
    }
    qInstallMessageHandler(previous);
    EXPECT_EQ(limitMessages.load(), 1);
}

// A save of the tables killed half-way leaves its temporary (megabytes for a
// large home) beside them: the next start removes it, and only what no running
// save may still be writing.
TEST_F(SavedAndLiveIndexTest, AStartRemovesTheTemporariesOfSavesCutShort)
{
    const pid_t child = test::endedProcess();
    ASSERT_GT(child, 0);
    const QByteArray gone = QByteArray::number(child);
    const QByteArray running = QByteArray::number(::getpid());
    const double now = double(std::time(nullptr));
    const QString folder = xdg::appCacheDir();
    const auto temporary = [&](const QByteArray& name, double minutesAgo) {
        const QString path = home.writeFile(
            QDir(home.root()).relativeFilePath(folder + u'/' + QString::fromLatin1(name)), "x");
        TestHome::setTimes(path, std::nullopt, now - minutesAgo * 60);
        return path;
    };
    const QStringList stale = {
        temporary("metadata-index.tables.tmp-" + gone + "-k2x9", 2),
        temporary("metadata-attributes.cache.tmp-" + running + "-a1", 61),
        temporary("metadata-index.tables.tmp-3v8qzu1", 61), // an earlier version's
    };
    const QStringList kept = {
        temporary("metadata-index.tables.tmp-" + running + "-b7", 2), // a save going on
        temporary("metadata-index.tables.tmp-" + gone + "-c3", 0.2),  // just written
        temporary("metadata-index.tables.tmp-5k", 2),
        temporary("notes.tmp-" + gone + "-mine.txt", 120), // not named as ours
        temporary("content-index.sqlite", 120),
    };
    {
        MetadataIndex index;
    }
    for (const QString& path : stale)
        EXPECT_FALSE(QFile::exists(path)) << qPrintable(path);
    for (const QString& path : kept)
        EXPECT_TRUE(QFile::exists(path)) << qPrintable(path);
}

// The cache folder is the app's, but a file of the user's may be kept there
// under a name that looks like a temporary of ours: only the temporaries of the
// files the index saves there go.
TEST_F(SavedAndLiveIndexTest, AStartLeavesAFileNamedLikeATemporaryOfAnotherFile)
{
    const pid_t child = test::endedProcess();
    ASSERT_GT(child, 0);
    const QString suffix =
        QStringLiteral(".tmp-") + QString::number(child) + QStringLiteral("-abc");
    const double twoHoursAgo = double(std::time(nullptr)) - 2 * 60 * 60;
    const QString folder = QDir(home.root()).relativeFilePath(xdg::appCacheDir());
    const QString ours = home.writeFile(folder + QStringLiteral("/metadata-index.tables") + suffix,
                                        "x", twoHoursAgo);
    const QString notOurs =
        home.writeFile(folder + QStringLiteral("/my-notes") + suffix, "x", twoHoursAgo);
    {
        MetadataIndex index;
    }
    EXPECT_FALSE(QFile::exists(ours));
    EXPECT_TRUE(QFile::exists(notOurs));
}
