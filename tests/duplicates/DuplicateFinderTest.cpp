#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicatesView.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QDateTime>
#include <QDir>
#include <QElapsedTimer>
#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

#include <condition_variable>
#include <cstdio>
#include <fcntl.h>
#include <mutex>
#include <sys/stat.h>
#include <thread>
#include <unistd.h>

namespace ovra {

namespace {

QByteArray randomBytes(qsizetype size, quint32 seed)
{
    QByteArray bytes(size, Qt::Uninitialized);
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), size / 4);
    return bytes;
}

template <typename T> bool waitFor(const QFuture<T>& future)
{
    return test::eventually([&] { return future.isFinished(); });
}

// What `dd conv=notrunc` and `touch -d OLD` leave behind: other bytes in the
// same file, of the same size, with its old modification time.
void editInPlace(const QString& path, qint64 offset, const QByteArray& bytes)
{
    const QByteArray local = QFile::encodeName(path);
    struct stat before {};
    ASSERT_EQ(::lstat(local.constData(), &before), 0);
    const int fd = ::open(local.constData(), O_WRONLY);
    ASSERT_GE(fd, 0);
    ASSERT_EQ(::pwrite(fd, bytes.constData(), size_t(bytes.size()), offset), bytes.size());
    ::close(fd);
    const timespec times[2] = {before.st_atim, before.st_mtim};
    ASSERT_EQ(::utimensat(AT_FDCWD, local.constData(), times, AT_SYMLINK_NOFOLLOW), 0);
    struct stat after {};
    ASSERT_EQ(::lstat(local.constData(), &after), 0);
    ASSERT_EQ(after.st_ino, before.st_ino);
    ASSERT_EQ(after.st_size, before.st_size);
    ASSERT_EQ(after.st_mtim.tv_nsec, before.st_mtim.tv_nsec);
    ASSERT_EQ(after.st_mtim.tv_sec, before.st_mtim.tv_sec);
}

// The scan keeps no digest of a file changed a moment before it is read (its
// change time could still repeat): files written by a test are let settle.
void letSettle()
{
    const qint64 written = QDateTime::currentMSecsSinceEpoch();
    ASSERT_TRUE(
        test::eventually([&] { return QDateTime::currentMSecsSinceEpoch() > written + 250; }));
}

// Ends a test that hangs: aborts the program, saying what hung, unless it is
// disarmed within `limit`.
class HangGuard {
public:
    HangGuard(std::chrono::seconds limit, const char* what)
        : m_thread([this, limit, what] {
            std::unique_lock lock(m_mutex);
            if (!m_disarmed.wait_for(lock, limit, [this] { return m_isDisarmed; })) {
                std::fprintf(stderr, "hung: %s\n", what);
                std::abort();
            }
        })
    {
    }
    ~HangGuard() { disarm(); }
    void disarm()
    {
        {
            std::lock_guard lock(m_mutex);
            m_isDisarmed = true;
        }
        m_disarmed.notify_all();
        if (m_thread.joinable()) m_thread.join();
    }

private:
    std::mutex m_mutex;
    std::condition_variable m_disarmed;
    bool m_isDisarmed = false;
    std::thread m_thread;
};

struct FinderFixture {
    test::TestHome home;
    Trash trash;
    DuplicateFinder finder{nullptr, &trash};
    QStringList paths;

    FinderFixture() { gatherInto(finder); }
    // Given files stand for what the index would gather.
    void gatherInto(DuplicateFinder& target)
    {
        target.setGather([this](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
            // The index's pool thread reads these in the app.
            UserFile::AllowOnThisThread allow;
            SpotlightResult result;
            for (const QString& path : paths)
                if (auto item = FileItem::fromPath(path)) result.items.append(*item);
            result.totalCount = result.items.size();
            return QtFuture::makeReadyFuture(result);
        });
    }
    QString add(const QString& relative, const QByteArray& content, double modified)
    {
        paths.append(home.writeFile(relative, content, modified));
        return paths.back();
    }
    const DuplicateGroup* groupWith(const QString& path) const
    {
        for (const DuplicateGroup& group : finder.exact())
            for (const FileItem& file : group.files)
                if (file.path == path) return &group;
        return nullptr;
    }
};

} // namespace

TEST(DuplicateFinder, ScanPublishesGroupsAndItsPhases)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 1);
    f.add("Documents/a.bin", a, 1000);
    f.add("Downloads/a.bin", a, 500);
    f.add("Music/lonely.bin", randomBytes(70000, 2), 1000);
    QList<DuplicateFinder::Phase> phases;
    QObject::connect(&f.finder, &DuplicateFinder::phaseChanged,
                     [&] { phases.append(f.finder.phase()); });
    QSignalSpy summary(&f.finder, &DuplicateSummary::changed);

    EXPECT_TRUE(f.finder.isIdle());
    const QFuture<void> scan = f.finder.scan({f.home.root()});
    // A second call while one runs starts nothing.
    EXPECT_TRUE(f.finder.scan({f.home.root()}).isFinished());
    ASSERT_TRUE(waitFor(scan));

    ASSERT_GE(phases.size(), 3);
    EXPECT_EQ(phases.front(), DuplicateFinder::Phase::gathering());
    EXPECT_EQ(phases[1], DuplicateFinder::Phase::hashing(0, 1));
    EXPECT_EQ(phases.back(), DuplicateFinder::Phase::finished());
    EXPECT_EQ(f.finder.scannedFiles(), 3);
    ASSERT_EQ(f.finder.exact().size(), 1);
    // The copy in Downloads is older, yet the one outside it is kept.
    EXPECT_EQ(f.finder.exact()[0].keep, f.home.path("Documents/a.bin"));
    EXPECT_EQ(f.finder.exactReclaimable(), 60000);
    EXPECT_EQ(f.finder.extraCopies(), 1);
    EXPECT_GT(f.finder.lastScanTime(), 0);
    EXPECT_GE(summary.count(), 2);
}

TEST(DuplicateFinder, KeepChoiceStaysWithinTheGroup)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 3);
    const QString first = f.add("a1.bin", a, 100);
    const QString second = f.add("a2.bin", a, 200);
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    ASSERT_EQ(f.finder.exact().size(), 1);
    const QUuid id = f.finder.exact()[0].id;

    f.finder.setKeeper(second, id);
    EXPECT_EQ(f.finder.exact()[0].keep, second);
    // A path of no file of the group keeps the first file, never none.
    f.finder.setKeeper(f.home.path("elsewhere.bin"), id);
    EXPECT_EQ(f.finder.exact()[0].keep, first);
    EXPECT_EQ(f.finder.exact()[0].extras().size(), 1);

    QSignalSpy exact(&f.finder, &DuplicateFinder::exactChanged);
    f.finder.setKeeper(first, QUuid::createUuid());
    f.finder.setKeeper(first, id); // already kept
    EXPECT_EQ(exact.count(), 0);
}

// A move to the Trash from any screen reaches the groups: a group left with
// one file goes, and a group whose keeper went keeps another copy.
TEST(DuplicateFinder, TrashFromAnotherScreenUpdatesTheGroups)
{
    FinderFixture f;
    const QByteArray b = randomBytes(60000, 4);
    const QByteArray c = randomBytes(61000, 5);
    const QString b1 = f.add("b1.bin", b, 100);
    const QString b2 = f.add("b2.bin", b, 200);
    const QString b3 = f.add("b3.bin", b, 300);
    const QString c1 = f.add("c1.bin", c, 100);
    f.add("c2.bin", c, 200);
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    ASSERT_EQ(f.finder.exact().size(), 2);
    ASSERT_EQ(f.groupWith(b1)->keep, b1);

    ASSERT_TRUE(waitFor(f.trash.moveToTrash({b1, c1})));
    // In the home's Trash, even though its data folder did not exist yet.
    EXPECT_TRUE(QFileInfo::exists(f.home.path(".local/share/Trash/files/b1.bin")));
    ASSERT_EQ(f.finder.exact().size(), 1);
    EXPECT_EQ(f.finder.exact()[0].files.size(), 2);
    EXPECT_EQ(f.finder.exact()[0].keep, b2);
    EXPECT_FALSE(f.groupWith(c1));

    const auto outcome = f.finder.trashExtras({f.finder.exact()[0].id});
    ASSERT_TRUE(waitFor(outcome));
    EXPECT_EQ(outcome.result().outcome.moved, QSet<QString>{b3});
    EXPECT_TRUE(QFileInfo::exists(b2));
    EXPECT_TRUE(f.finder.exact().isEmpty());
}

// Between the scan and the move, a kept copy or an extra that changed, or a
// kept copy that went, makes its group stand down whole; an extra that went
// by other means only leaves its group.
TEST(DuplicateFinder, FilesChangedAfterTheScanAreNeverTrashed)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 6);
    const QByteArray b = randomBytes(62000, 7);
    const QByteArray c = randomBytes(63000, 8);
    const QString a1 = f.add("a1.bin", a, 100);
    const QString a2 = f.add("a2.bin", a, 200);
    const QString b1 = f.add("b1.bin", b, 100);
    const QString b2 = f.add("b2.bin", b, 200);
    const QString b3 = f.add("b3.bin", b, 300);
    const QString c1 = f.add("c1.bin", c, 100);
    const QString c2 = f.add("c2.bin", c, 200);
    const QByteArray e = randomBytes(65000, 90);
    const QString e1 = f.add("e1.bin", e, 100);
    const QString e2 = f.add("e2.bin", e, 200);
    const QByteArray d = randomBytes(64000, 80);
    const QString d1 = f.add("d1.bin", d, 100);
    const QString d2 = f.add("d2.bin", d, 200);
    const QString d3 = f.add("d3.bin", d, 300);
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    ASSERT_EQ(f.finder.exact().size(), 5);
    ASSERT_TRUE(QFile::remove(d3));                          // an extra went by other means
    f.home.writeFile("e1.bin", randomBytes(65000, 91), 900); // the keeper, edited in place

    f.home.writeFile("a1.bin", a.left(1000), 100);           // the keeper shrank
    f.home.writeFile("b2.bin", randomBytes(62000, 70), 900); // an extra was rewritten
    ASSERT_TRUE(QFile::remove(c1));                          // the keeper is gone
    QList<QUuid> ids;
    for (const DuplicateGroup& group : f.finder.exact())
        ids.append(group.id);
    const auto outcome = f.finder.trashExtras(ids);
    ASSERT_TRUE(waitFor(outcome));

    EXPECT_EQ(outcome.result().outcome.moved, QSet<QString>{d2});
    EXPECT_EQ(outcome.result().stoodDown.size(), 4);
    EXPECT_TRUE(QFileInfo::exists(d1));
    for (const QString& path : {a1, a2, b1, b2, b3, c2, e1, e2})
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(f.finder.exact().isEmpty());
}

// Put back its size and modification time after an edit in place, and the
// kept copy looks to every stamp like the file the scan read: only its bytes
// tell that trashing the extra would lose the last copy of the old content.
TEST(DuplicateFinder, AKeptCopyEditedInPlaceKeepsItsExtrasOutOfTheTrash)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 11);
    const QByteArray b = randomBytes(61000, 12);
    const QString a1 = f.add("Documents/a.bin", a, 1000);
    const QString a2 = f.add("Downloads/a.bin", a, 500);
    f.add("Documents/b.bin", b, 1000);
    const QString b2 = f.add("Downloads/b.bin", b, 500);
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    ASSERT_EQ(f.finder.exact().size(), 2);
    ASSERT_EQ(f.groupWith(a1)->keep, a1);
    QList<QUuid> ids;
    for (const DuplicateGroup& group : f.finder.exact())
        ids.append(group.id);

    editInPlace(a1, 30000, "edited in place");
    const auto outcome = f.finder.trashExtras(ids);
    ASSERT_TRUE(waitFor(outcome));

    EXPECT_EQ(outcome.result().outcome.moved, QSet<QString>{b2});
    EXPECT_TRUE(QFileInfo::exists(a1));
    EXPECT_TRUE(QFileInfo::exists(a2));
    EXPECT_FALSE(QFileInfo::exists(f.home.path(".local/share/Trash/files/a.bin")));
    const QList<DuplicateFinder::StoodDown> expected = {
        {"a.bin", DuplicateFinder::StoodDown::Reason::copiesDiffer}};
    EXPECT_EQ(outcome.result().stoodDown, expected);
    EXPECT_FALSE(f.groupWith(a1));
    EXPECT_EQ(DuplicatesView::stoodDownMessage(expected),
              "Left “a.bin” and its copies alone: the copies no longer match.");
}

// A file that has not changed is read once: a second scan, and a scan after a
// new start, find its digests in the cache. A write changes the file's change
// time, which no tool sets back, so an edited file is read again.
TEST(DuplicateFinder, UnchangedFilesAreReadOnceAcrossScansAndStarts)
{
    FinderFixture f;
    const QByteArray a = randomBytes(300000, 21);
    const QByteArray b = randomBytes(70000, 22);
    const QString a1 = f.add("Documents/a.bin", a, 1000);
    f.add("Downloads/a.bin", a, 500);
    f.add("Documents/b.bin", b, 1000);
    f.add("Downloads/b.bin", b, 500);
    f.add("Music/lonely.bin", randomBytes(80000, 23), 1000);
    letSettle();
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    ASSERT_EQ(f.finder.exact().size(), 2);
    const qint64 firstRead = f.finder.bytesRead();
    EXPECT_GE(firstRead, 2 * 300000 + 2 * 70000);

    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    EXPECT_EQ(f.finder.bytesRead(), firstRead);
    EXPECT_EQ(f.finder.exact().size(), 2);

    {
        DuplicateFinder restarted(nullptr, &f.trash);
        f.gatherInto(restarted);
        ASSERT_TRUE(waitFor(restarted.scan({f.home.root()})));
        EXPECT_EQ(restarted.bytesRead(), 0);
        EXPECT_EQ(restarted.exact().size(), 2);
    }

    editInPlace(a1, 1000, "edited");
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    EXPECT_GT(f.finder.bytesRead(), firstRead);
    ASSERT_EQ(f.finder.exact().size(), 1);
    EXPECT_FALSE(f.groupWith(a1));
}

// The saved digests are read as untrusted input: a damaged file costs a new
// reading of the files, nothing more.
TEST(DuplicateFinder, ADamagedDigestFileIsIgnored)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 31);
    f.add("a1.bin", a, 100);
    f.add("a2.bin", a, 200);
    QByteArray hugeCount("OVRADUP1", 8);
    hugeCount.append(QByteArray("\xff\xff\xff\xff\xff\xff\xff\x0f", 8));
    hugeCount.append(QByteArray(8, '\0'));
    for (const QByteArray& damaged : {QByteArray("not a digest file"), hugeCount}) {
        QDir().mkpath(QFileInfo(DuplicateFinder::defaultHashCachePath()).absolutePath());
        QFile file(DuplicateFinder::defaultHashCachePath());
        ASSERT_TRUE(file.open(QIODevice::WriteOnly | QIODevice::Truncate));
        file.write(damaged);
        file.close();
        DuplicateFinder finder(nullptr, &f.trash);
        f.gatherInto(finder);
        ASSERT_TRUE(waitFor(finder.scan({f.home.root()})));
        EXPECT_EQ(finder.exact().size(), 1);
        EXPECT_GT(finder.bytesRead(), 0);
    }
}

// Two files of a terabyte, holes both, agree in every quick read, so the scan
// reads them whole. Letting the finder go (as the app's teardown does) must
// not wait for that: the reads stop within a chunk.
TEST(DuplicateFinder, LettingGoWhileHugeFilesAreHashedStopsTheReads)
{
    test::TestHome home;
    constexpr qint64 kHuge = qint64(1) << 40;
    QStringList paths;
    for (const char* name : {"Documents/disk-1.img", "Documents/disk-2.img"}) {
        paths.append(home.path(QString::fromLatin1(name)));
        QDir().mkpath(QFileInfo(paths.back()).absolutePath());
        const int fd =
            ::open(QFile::encodeName(paths.back()).constData(), O_WRONLY | O_CREAT | O_TRUNC, 0644);
        ASSERT_GE(fd, 0);
        const bool isSparse = ::ftruncate(fd, kHuge) == 0;
        ::close(fd);
        if (!isSparse) GTEST_SKIP() << "this file system holds no sparse file of a terabyte";
    }
    Trash trash;
    auto finder = std::make_unique<DuplicateFinder>(nullptr, &trash);
    finder->setGather([paths](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
        UserFile::AllowOnThisThread allow;
        SpotlightResult result;
        for (const QString& path : paths)
            result.items.append(*FileItem::fromPath(path));
        result.totalCount = result.items.size();
        return QtFuture::makeReadyFuture(result);
    });
    finder->scan({home.root()});
    ASSERT_TRUE(test::eventually([&] { return finder->bytesRead() > (qint64(64) << 20); }));

    // Hashing what is left takes many minutes at any speed a disk or a core
    // reaches; the guard is only for a finder that waits for it.
    HangGuard guard(std::chrono::seconds(90), "letting go of a finder that hashes two huge files");
    QElapsedTimer clock;
    clock.start();
    finder.reset();
    guard.disarm();
    std::printf("[ measured ] letting go while hashing: %lld ms\n", clock.elapsed());
}

TEST(DuplicateFinder, MembersThatVanishBeforePublishingAreDropped)
{
    FinderFixture f;
    const QByteArray a = randomBytes(60000, 9);
    f.add("a1.bin", a, 100);
    const QString a2 = f.add("a2.bin", a, 200);
    f.finder.setGather([&](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
        UserFile::AllowOnThisThread allow;
        SpotlightResult result;
        for (const QString& path : f.paths)
            result.items.append(*FileItem::fromPath(path));
        // Gone after it was gathered, before it is hashed.
        QFile::remove(a2);
        return QtFuture::makeReadyFuture(result);
    });
    ASSERT_TRUE(waitFor(f.finder.scan({f.home.root()})));
    EXPECT_TRUE(f.finder.exact().isEmpty());
    EXPECT_EQ(f.finder.phase(), DuplicateFinder::Phase::finished());
}

} // namespace ovra

namespace ovra {

// Reports travel to the main thread one by one and may arrive late or out of
// order: only a newer report of the running scan moves its phase.
TEST(DuplicateFinder, LateProgressReportsAreIgnored)
{
    using Phase = DuplicateFinder::Phase;
    EXPECT_EQ(DuplicateFinder::phaseAfterReport(Phase::hashing(0, 1), true, 3, 5),
              Phase::hashing(3, 5));
    EXPECT_EQ(DuplicateFinder::phaseAfterReport(Phase::hashing(0, 1), true, 0, 0),
              Phase::hashing(0, 1));
    EXPECT_FALSE(DuplicateFinder::phaseAfterReport(Phase::finished(), true, 5, 5));
    EXPECT_FALSE(DuplicateFinder::phaseAfterReport(Phase::gathering(), false, 5, 5));
    EXPECT_FALSE(DuplicateFinder::phaseAfterReport(Phase::hashing(2, 9), false, 5, 9));
    EXPECT_FALSE(DuplicateFinder::phaseAfterReport(Phase::hashing(30, 40), true, 20, 40));
}

} // namespace ovra
