#include "library/Trash.h"
#include "library/LibraryStore.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/Query.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QProcess>
#include <QScopeGuard>
#include <QStandardPaths>
#include <QThreadPool>

#include <algorithm>
#include <atomic>
#include <condition_variable>
#include <mutex>
#include <thread>
#include <utility>

#include <gtest/gtest.h>

#include <sys/mount.h>
#include <sys/stat.h>
#include <unistd.h>

using namespace ovra;
using ovra::test::TestHome;
using ovra::test::waitFor;

namespace {

FileItem seenAt(const QString& path)
{
    // Read here as a store's pool thread would.
    const UserFile::AllowOnThisThread reading;
    return *FileItem::fromPath(path);
}

QStringList namesFound(md::MetadataIndex& index, const QString& scope)
{
    const UserFile::AllowOnThisThread reading;
    const md::MetadataIndex::Results results =
        index.query(md::Query::parse(u"kMDItemFSName == '*'"), {scope}, md::Attr::FSName);
    QStringList names;
    for (std::size_t i = 0; i < results.count(); ++i)
        names << results.path(i).section(u'/', -1);
    names.sort();
    return names;
}

class TrashTest : public ::testing::Test {
protected:
    void SetUp() override { test::ensureApp(); }
    void TearDown() override { QThreadPool::globalInstance()->waitForDone(); }

    TestHome home;
};

} // namespace

TEST_F(TrashTest, APathThatNamesSomethingElseNowStaysAndIsNotForgotten)
{
    const QString a = home.writeFile("Documents/a.txt", "a");
    const QString b = home.writeFile("Documents/b.txt", "b");
    const QString c = home.writeFile("Documents/c.txt", "c");
    const QList<FileItem> items{seenAt(a), seenAt(b), seenAt(c)};
    // Between the listing and the move, two of the names came to hold other things.
    ASSERT_TRUE(QFile::remove(b));
    ASSERT_TRUE(QDir().mkpath(b + "/photos"));
    ASSERT_TRUE(QFile::remove(c));
    ASSERT_EQ(::mkfifo(QFile::encodeName(c).constData(), 0600), 0);

    Trash trash;
    QSet<QString> forgotten;
    QObject store;
    trash.registerStore(&store, [&](const QSet<QString>& paths) { forgotten += paths; });
    const QFuture<Trash::Outcome> moving = trash.moveToTrash(items);
    ASSERT_TRUE(waitFor(moving));
    const Trash::Outcome outcome = moving.result();

    EXPECT_EQ(outcome.moved, QSet<QString>{a});
    EXPECT_EQ(outcome.failed, (QStringList{b, c}));
    EXPECT_EQ(outcome.reasons.value(b), "it has been replaced by a folder");
    EXPECT_EQ(outcome.reasons.value(c), "it has been replaced by a special file");
    EXPECT_EQ(forgotten, QSet<QString>{a});
    EXPECT_TRUE(QFileInfo(b + "/photos").isDir());
    EXPECT_TRUE(QFileInfo::exists(c));
    EXPECT_FALSE(QFileInfo::exists(a));
}

TEST_F(TrashTest, MovedFilesLeaveTheIndexBeforeAnyStoreHears)
{
    home.writeFile("Documents/keep.txt", "k");
    const QString gone = home.writeFile("Documents/gone.txt", "g");
    home.writeFile("Documents/box/inner.txt", "i");
    const QString scope = home.path("Documents");
    md::MetadataIndex index;
    ASSERT_EQ(namesFound(index, scope), (QStringList{"box", "gone.txt", "inner.txt", "keep.txt"}));

    Trash trash;
    trash.registerIndex(&index);
    // What a store that reloads at the news would find.
    QStringList foundWhenTold;
    QObject store;
    trash.registerStore(&store,
                        [&](const QSet<QString>&) { foundWhenTold = namesFound(index, scope); });
    const QFuture<Trash::Outcome> moving =
        trash.moveToTrash(QList<FileItem>{seenAt(gone), seenAt(home.path("Documents/box"))});
    ASSERT_TRUE(waitFor(moving));
    ASSERT_EQ(moving.result().moved.size(), 2);
    EXPECT_EQ(foundWhenTold, QStringList{"keep.txt"});
}

namespace {

// Holds a first walk, once armed, after it listed its scopes and before it
// publishes what it found; let go when the test ends, whatever happened.
class WalkGate {
public:
    ~WalkGate() { release(); }

    std::function<void()> hook()
    {
        return [this] {
            if (!m_armed.exchange(false)) return;
            std::unique_lock lock(m_mutex);
            m_holding = true;
            m_changed.wait(lock, [this] { return m_released; });
        };
    }
    void arm() { m_armed = true; }
    bool isHolding()
    {
        std::lock_guard lock(m_mutex);
        return m_holding;
    }
    void release()
    {
        std::lock_guard lock(m_mutex);
        m_released = true;
        m_changed.notify_all();
    }

private:
    std::atomic_bool m_armed = false;
    std::mutex m_mutex;
    std::condition_variable m_changed;
    bool m_holding = false;
    bool m_released = false;
};

} // namespace

// The first index of a large home takes minutes: a move asked meanwhile, and
// the folder listings behind it, answer at once, the moved files leave every
// query at once, and the tables the walk publishes afterwards, listed before
// the move, do not bring them back.
TEST_F(TrashTest, AMoveDuringTheFirstWalkWaitsForNothingAndStaysGone)
{
    home.writeFile("Documents/keep.txt", "k");
    const QString first = home.writeFile("Documents/first.txt", "1");
    const QString second = home.writeFile("Documents/second.txt", "2");
    const QString listed = home.writeFile("Pictures/listed.png", "p");
    home.writeFile("Pictures/stays.png", "s");
    const QString documents = home.path("Documents"), pictures = home.path("Pictures");
    WalkGate gate;
    md::MetadataIndex::Options options;
    options.afterFirstWalk = gate.hook();
    md::MetadataIndex index(options);
    ASSERT_EQ(namesFound(index, documents), (QStringList{"first.txt", "keep.txt", "second.txt"}));
    Trash trash; // made before the walk, so that it goes after the walk was let go
    trash.registerIndex(&index);

    gate.arm();
    std::thread walk([&] {
        const UserFile::AllowOnThisThread reading;
        index.ensureScopes({pictures});
    });
    bool walkEnded = false;
    const auto endWalk = [&] {
        if (std::exchange(walkEnded, true)) return;
        gate.release();
        walk.join();
    };
    const auto atEnd = qScopeGuard(endWalk);
    ASSERT_TRUE(test::eventually([&] { return gate.isHolding(); }));

    const QFuture<Trash::Outcome> one = trash.moveToTrash(QList<FileItem>{seenAt(first)});
    const QFuture<Trash::Outcome> two =
        trash.moveToTrash(QList<FileItem>{seenAt(second), seenAt(listed)});
    const QFuture<FolderListing> listing = LibraryStore::listFolder(documents);
    ASSERT_TRUE(waitFor(one));
    ASSERT_TRUE(waitFor(two));
    ASSERT_TRUE(waitFor(listing));
    EXPECT_TRUE(gate.isHolding()) << "the walk went on before the moves answered";
    EXPECT_EQ(one.result().moved, QSet<QString>{first});
    EXPECT_EQ(two.result().moved, (QSet<QString>{second, listed}));
    const QList<FileItem> listedNow = listing.result().items;
    EXPECT_TRUE(std::any_of(listedNow.begin(), listedNow.end(),
                            [](const FileItem& item) { return item.name == "keep.txt"; }));
    EXPECT_EQ(namesFound(index, documents), QStringList{"keep.txt"});

    endWalk();
    EXPECT_EQ(namesFound(index, pictures), QStringList{"stays.png"});
    EXPECT_EQ(namesFound(index, documents), QStringList{"keep.txt"});

    // Forgetting is not for good: a file put back under a moved one's name is found.
    home.writeFile("Pictures/listed.png", "back");
    EXPECT_TRUE(test::eventually([&] {
        return namesFound(index, pictures) == QStringList{"listed.png", "stays.png"};
    }));
}

namespace {

// ext4 made with 128-byte inodes: it keeps no birth time, counts change times
// in whole seconds and hands a freed inode number to the next file at once.
// Made from an image beside `folder` and mounted there while it lives; where
// the machine can't mount one, `unavailable` says why.
class DiskWithoutBirthTimes {
public:
    explicit DiskWithoutBirthTimes(const QString& folder)
        : m_folder(folder)
    {
        if (::geteuid() != 0) {
            m_unavailable = QStringLiteral("mounting a file system needs root");
            return;
        }
        const QString mkfs = findTool(QStringLiteral("mkfs.ext4"));
        const QString mount = findTool(QStringLiteral("mount"));
        if (mkfs.isEmpty() || mount.isEmpty()) {
            m_unavailable = QStringLiteral("mkfs.ext4 or mount is not installed");
            return;
        }
        const QString image = folder + QStringLiteral(".img");
        QFile file(image);
        if (!QDir().mkpath(folder) || !file.open(QIODevice::WriteOnly) ||
            !file.resize(kImageBytes)) {
            m_unavailable = QStringLiteral("no room for the image");
            return;
        }
        file.close();
        m_unavailable = run(mkfs, {"-q", "-F", "-I", "128", image});
        if (!m_unavailable.isEmpty()) return;
        m_unavailable = run(mount, {"-o", "loop", image, folder});
        m_mounted = m_unavailable.isEmpty();
    }
    ~DiskWithoutBirthTimes()
    {
        // Detached even while something still holds it open: the test's folder
        // is removed next.
        if (m_mounted) ::umount2(QFile::encodeName(m_folder).constData(), MNT_DETACH);
    }
    DiskWithoutBirthTimes(const DiskWithoutBirthTimes&) = delete;
    DiskWithoutBirthTimes& operator=(const DiskWithoutBirthTimes&) = delete;

    QString unavailable() const { return m_unavailable; }
    QString path(const QString& relative) const { return m_folder + u'/' + relative; }

private:
    static constexpr qint64 kImageBytes = 16 * 1024 * 1024;

    static QString findTool(const QString& name)
    {
        const QString found = QStandardPaths::findExecutable(name);
        if (!found.isEmpty()) return found;
        return QStandardPaths::findExecutable(
            name, {QStringLiteral("/usr/sbin"), QStringLiteral("/sbin")});
    }
    // Nothing when the tool did its work, else why not.
    static QString run(const QString& tool, const QStringList& arguments)
    {
        QProcess process;
        process.start(tool, arguments);
        if (!process.waitForFinished(int(test::kPatience.count())))
            return tool + QStringLiteral(" did not end");
        if (process.exitStatus() == QProcess::NormalExit && process.exitCode() == 0) return {};
        return tool + QStringLiteral(" failed: ") +
               QString::fromLocal8Bit(process.readAllStandardError()).trimmed();
    }

    QString m_folder;
    QString m_unavailable;
    bool m_mounted = false;
};

struct statx statOf(const QString& path)
{
    struct statx st {};
    ::statx(AT_FDCWD, QFile::encodeName(path).constData(), AT_SYMLINK_NOFOLLOW,
            STATX_INO | STATX_CTIME | STATX_BTIME, &st);
    return st;
}

// The item the index holds for a name in a scope, as the screens take it.
std::optional<FileItem> indexedItem(md::MetadataIndex& index, const QString& scope,
                                    const QString& name)
{
    const UserFile::AllowOnThisThread reading;
    const md::MetadataIndex::Results results =
        index.query(md::Query::parse(u"kMDItemFSName == '*'"), {scope}, md::Attr::FSName);
    for (std::size_t i = 0; i < results.count(); ++i)
        if (results.path(i).section(u'/', -1) == name)
            return FileItem::fromMetadata(results.item(i, false));
    return std::nullopt;
}

Trash::Outcome moved(const FileItem& item)
{
    Trash trash;
    const QFuture<Trash::Outcome> moving = trash.moveToTrash(QList<FileItem>{item});
    if (!waitFor(moving)) return {};
    return moving.result();
}

} // namespace

// Where no birth time is kept, a file deleted and made again at once takes the
// inode number back and, within the same second, the change time too: the
// file system's handle for it still differs. Picked from the disk or from the
// index, the first file's item never moves the second.
TEST_F(TrashTest, WithoutBirthTimesAFileMadeAgainOnItsInodeStays)
{
    const DiskWithoutBirthTimes disk(home.path("media/disk"));
    if (!disk.unavailable().isEmpty()) GTEST_SKIP() << disk.unavailable().toStdString();
    const QString scope = disk.path("Documents");
    const QString path = disk.path("Documents/picked.txt");
    ASSERT_TRUE(QDir().mkpath(scope));
    const auto write = [&](const QByteArray& content) {
        QFile file(path);
        return file.open(QIODevice::WriteOnly) && file.write(content) == content.size();
    };
    ASSERT_TRUE(write("picked"));
    const struct statx picked = statOf(path);
    if (picked.stx_mask & STATX_BTIME) GTEST_SKIP() << "this file system keeps birth times";
    md::MetadataIndex index;
    const std::optional<FileItem> fromIndex = indexedItem(index, scope, "picked.txt");
    ASSERT_TRUE(fromIndex);
    const FileItem fromDisk = seenAt(path);

    ASSERT_TRUE(QFile::remove(path));
    ASSERT_TRUE(write("made again"));
    if (statOf(path).stx_ino != picked.stx_ino)
        GTEST_SKIP() << "the new file got another inode: there is nothing to tell apart";

    for (const FileItem& seen : {fromDisk, *fromIndex}) {
        const Trash::Outcome outcome = moved(seen);
        EXPECT_TRUE(outcome.moved.isEmpty());
        EXPECT_EQ(outcome.reasons.value(path), "it has been replaced by another file");
        EXPECT_EQ(test::contentOf(path), "made again");
    }
    // Seen again, it is the one that moves.
    ASSERT_TRUE(QFileInfo::exists(path));
    EXPECT_EQ(moved(seenAt(path)).moved, QSet<QString>{path});
}

// A folder's change time moves with what it holds. The index takes it again
// when it lists the folder, though the listing of the folder above, where its
// entry stands, did not change: the folder picked from the index still moves.
TEST_F(TrashTest, WithoutBirthTimesAFolderChangedInsideStillMoves)
{
    const DiskWithoutBirthTimes disk(home.path("media/disk"));
    if (!disk.unavailable().isEmpty()) GTEST_SKIP() << disk.unavailable().toStdString();
    const QString scope = disk.path("Documents");
    ASSERT_TRUE(QDir().mkpath(disk.path("Documents/box")));
    const QString box = disk.path("Documents/box");
    md::MetadataIndex index;
    ASSERT_TRUE(indexedItem(index, scope, "box"));
    const double before = fileCreationSeconds(statOf(box));

    // Change times count whole seconds here: files are added until the box's moves.
    int added = 0;
    ASSERT_TRUE(test::eventually([&] {
        QFile(box + QStringLiteral("/added-%1.txt").arg(++added)).open(QIODevice::WriteOnly);
        return fileCreationSeconds(statOf(box)) != before;
    }));
    const QString last = QStringLiteral("added-%1.txt").arg(added);
    ASSERT_TRUE(test::eventually([&] { return indexedItem(index, scope, last).has_value(); }));

    const std::optional<FileItem> seen = indexedItem(index, scope, "box");
    ASSERT_TRUE(seen);
    const Trash::Outcome outcome = moved(*seen);
    EXPECT_EQ(outcome.moved, QSet<QString>{box}) << outcome.reasons.value(box).toStdString();
}
