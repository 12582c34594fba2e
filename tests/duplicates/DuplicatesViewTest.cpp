#include "duplicates/DuplicatesView.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicateGroupCard.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QLocale>
#include <QProgressBar>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

namespace ovra {

namespace {

// A finder whose scan gathers the given files and reports `gathered` files.
void gatherFrom(DuplicateFinder& finder, QStringList paths, int gathered)
{
    finder.setGather(
        [paths, gathered](const QString&, const QStringList&, qsizetype, Spotlight::Accept) {
            // The index's pool thread reads these in the app.
            UserFile::AllowOnThisThread allow;
            SpotlightResult result;
            for (const QString& path : paths)
                if (auto item = FileItem::fromPath(path)) result.items.append(*item);
            result.totalCount = gathered;
            return QtFuture::makeReadyFuture(result);
        });
}

} // namespace

TEST(DuplicatesView, NothingFoundAndTheScanThatStartsWhenShown)
{
    QLocale::setDefault(QLocale(QLocale::English, QLocale::UnitedKingdom));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, {}, 1234);
    AppContext context;
    DuplicatesView view(context, &finder);
    EXPECT_EQ(view.heroTitle(), "Find duplicate files");
    EXPECT_EQ(view.scanButton()->text().trimmed(), "Start Scan");
    EXPECT_EQ(view.tabTitle(DuplicatesView::Tab::exact), "Exact Copies");

    view.show();
    EXPECT_NE(finder.phase(), DuplicateFinder::Phase::idle());
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));
    EXPECT_EQ(view.heroTitle(), "No duplicates found");
    EXPECT_EQ(view.heroDetail(), "Checked 1,234 files. Nice and tidy!");
    EXPECT_EQ(view.scanButton()->text().trimmed(), "Scan Again");
    EXPECT_TRUE(view.trashAllButton()->isHidden());

    // The look-alike scan waits for its own button.
    view.setTab(DuplicatesView::Tab::similar);
    EXPECT_EQ(view.heroTitle(), "Find look-alike photos");
    EXPECT_EQ(finder.similarPhase(), DuplicateFinder::Phase::idle());
    QLocale::setDefault(QLocale::system());
}

// "Scan Again" shows the scan running from its first moment to its end: a
// bar while the files are gathered, then the candidates checked one by one.
TEST(DuplicatesView, ScanAgainShowsItsProgress)
{
    test::TestHome home;
    QStringList paths;
    for (int g = 0; g < 3; ++g)
        for (int copy = 0; copy < 2; ++copy)
            paths.append(home.writeFile(QStringLiteral("d%1/f%2.bin").arg(copy).arg(g),
                                        QByteArray(60000 + g, char('a' + g))));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, paths, int(paths.size()));
    AppContext context;
    DuplicatesView view(context, &finder);
    view.show();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return finder.phase() == DuplicateFinder::Phase::finished(); }, 60000));
    ASSERT_EQ(view.scanButton()->text().trimmed(), "Scan Again");

    // What the hero shows at each phase of the new scan, read after the
    // screen took the change in.
    struct Seen {
        DuplicateFinder::Phase phase;
        bool isBarShown;
        int value;
        int maximum;
        QString detail;
    };
    QList<Seen> seen;
    QObject::connect(&finder, &DuplicateFinder::phaseChanged, &view, [&] {
        seen.append({finder.phase(), view.progressBar()->isVisible(), view.progressBar()->value(),
                     view.progressBar()->maximum(), view.heroDetail()});
    });
    view.scanButton()->click();
    ASSERT_TRUE(QTest::qWaitFor(
        [&] { return finder.phase() == DuplicateFinder::Phase::finished(); }, 60000));

    ASSERT_FALSE(seen.isEmpty());
    EXPECT_EQ(seen.front().phase, DuplicateFinder::Phase::gathering());
    EXPECT_TRUE(seen.front().isBarShown);
    bool sawMidway = false;
    for (const Seen& s : std::as_const(seen)) {
        if (s.phase.kind != DuplicateFinder::Phase::Kind::hashing) continue;
        EXPECT_TRUE(s.isBarShown);
        EXPECT_EQ(s.value, s.phase.done);
        EXPECT_EQ(s.maximum, s.phase.total);
        if (s.phase.total == 6 && s.phase.done > 0 && s.phase.done < 6) {
            sawMidway = true;
            EXPECT_EQ(s.detail, QStringLiteral("%1 of 6 candidates checked").arg(s.phase.done));
        }
    }
    EXPECT_TRUE(sawMidway);
    EXPECT_FALSE(view.progressBar()->isVisible());
}

TEST(DuplicatesView, GroupsAreListedSixtyAtATime)
{
    test::TestHome home;
    QStringList paths;
    for (int g = 0; g < 130; ++g)
        for (int copy = 0; copy < 2; ++copy)
            paths.append(home.writeFile(QStringLiteral("d%1/f%2.bin").arg(copy).arg(g),
                                        QByteArray(100 + g, char('a' + g % 26))));
    Trash trash;
    DuplicateFinder finder(nullptr, &trash);
    gatherFrom(finder, paths, int(paths.size()));
    AppContext context;
    DuplicatesView view(context, &finder);
    view.show();
    ASSERT_TRUE(
        QTest::qWaitFor([&] { return finder.phase() == DuplicateFinder::Phase::finished(); }));

    EXPECT_EQ(view.heroDetail(), "130 extra copies in 130 groups");
    EXPECT_EQ(view.tabTitle(DuplicatesView::Tab::exact), "Exact Copies  130");
    EXPECT_EQ(view.cards().size(), 60);
    EXPECT_EQ(view.showMoreButton()->text(), "Show 60 More");
    view.showMoreButton()->click();
    EXPECT_EQ(view.cards().size(), 120);
    EXPECT_EQ(view.showMoreButton()->text(), "Show 10 More");
    view.showMoreButton()->click();
    EXPECT_EQ(view.cards().size(), 130);
    EXPECT_TRUE(view.showMoreButton()->isHidden());
    view.setTab(DuplicatesView::Tab::similar);
    EXPECT_TRUE(view.cards().isEmpty());
    view.setTab(DuplicatesView::Tab::exact);
    EXPECT_EQ(view.cards().size(), 60);

    // One group's extras through its card: the group goes, the rest stay listed.
    const QUuid first = finder.exact().front().id;
    view.cards().front()->trashButton()->click();
    ASSERT_TRUE(QTest::qWaitFor([&] { return finder.exact().size() == 129; }, 10000));
    EXPECT_NE(finder.exact().front().id, first);
    EXPECT_EQ(view.cards().size(), 60);
    EXPECT_EQ(view.heroDetail(), "129 extra copies in 129 groups");
}

} // namespace ovra
