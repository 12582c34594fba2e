#include "duplicates/DuplicateFinder.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QFileInfo>
#include <QRandomGenerator>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

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
    return QTest::qWaitFor([&] { return future.isFinished(); }, 20000);
}

struct FinderFixture {
    test::TestHome home;
    Trash trash;
    DuplicateFinder finder{nullptr, &trash};
    QStringList paths;

    FinderFixture()
    {
        // Given files stand for what the index would gather.
        finder.setGather([this](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
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
    EXPECT_EQ(outcome.result().moved, QSet<QString>{b3});
    EXPECT_TRUE(QFileInfo::exists(b2));
    EXPECT_TRUE(f.finder.exact().isEmpty());
}

// Between the scan and the move, a kept copy that changed or went makes its
// group stand down whole; an extra that changed stays where it is.
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

    EXPECT_EQ(outcome.result().moved, (QSet<QString>{b3, d2}));
    EXPECT_TRUE(QFileInfo::exists(d1));
    for (const QString& path : {a1, a2, b1, b2, c2, e1, e2})
        EXPECT_TRUE(QFileInfo::exists(path)) << path.toStdString();
    EXPECT_TRUE(f.finder.exact().isEmpty());
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
