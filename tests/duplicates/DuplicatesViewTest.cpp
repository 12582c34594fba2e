#include "duplicates/DuplicatesView.h"
#include "duplicates/DuplicateFinder.h"
#include "duplicates/DuplicateGroupCard.h"
#include "platform/UserFile.h"
#include "support/TestHome.h"

#include <QLocale>
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
