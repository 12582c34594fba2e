#include "browser/CollectionView.h"
#include "BrowserFixtures.h"
#include "browser/BrowserHeader.h"
#include "browser/FileBrowser.h"
#include "library/Fmt.h"
#include "support/Wait.h"

#include <QLocale>
#include <QSignalSpy>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

TEST(CollectionSubtitle, ItemInTheSingularOnlyForExactlyOne)
{
    SpotlightResult result;
    result.totalSize = 1'500'000;
    result.totalCount = 1;
    EXPECT_EQ(collectionSubtitle(result), "1 item · " + Fmt::bytes(1'500'000));
    result.totalCount = 0;
    EXPECT_EQ(collectionSubtitle(result), "0 items · " + Fmt::bytes(1'500'000));
    result.totalCount = 12345;
    EXPECT_EQ(collectionSubtitle(result),
              QLocale().toString(12345) + " items · " + Fmt::bytes(1'500'000));
}

TEST(CollectionSymbol, NamesEachCollectionAndFallsBackToATray)
{
    EXPECT_EQ(collectionSymbol(SidebarItem::smart(SmartCollection::recents)), "clock");
    EXPECT_EQ(collectionSymbol(SidebarItem::category(FileCategory::code)),
              "chevron.left.forwardslash.chevron.right");
    EXPECT_EQ(collectionSymbol(SidebarItem::duplicates()), "tray");
}

TEST(CollectionViewTest, ShowsTheSpinnerUntilTheStoreHasTheResultAndReloadsOnRefresh)
{
    AppFixture app;
    app.home.writeFile("Pictures/a.png", "x");
    app.home.writeFile("Pictures/b.png", "x");
    app.makeLibrary();
    const SidebarItem images = SidebarItem::category(FileCategory::images);
    CollectionView view(app.context, images);
    EXPECT_EQ(view.loadKey(), "Images#0");
    EXPECT_EQ(view.browser()->header()->title(), "Images");
    // Whatever the browser shows before the store has answered is the spinner.
    QObject::connect(view.browser(), &FileBrowser::contentChanged, [&] {
        if (app.library->collections().contains(images)) return;
        EXPECT_EQ(view.browser()->content().state, BrowserContent::State::loading);
    });

    ASSERT_TRUE(test::eventually([&] { return !app.library->isLoading(images); }));
    const BrowserContent& content = settledContent(*view.browser());
    EXPECT_EQ(content.state, BrowserContent::State::sections);
    EXPECT_EQ(content.files.size(), 2);
    EXPECT_TRUE(view.browser()->header()->subtitle()->startsWith("2 items · "));
    EXPECT_TRUE(content.kindCounts.isEmpty()); // no Kind filter on a collection

    QSignalSpy reloaded(app.library.get(), &LibraryStore::collectionsChanged);
    app.state.setRefreshToken(RefreshToken(1));
    EXPECT_EQ(view.loadKey(), "Images#1");
    // The old result stays while the new one loads.
    EXPECT_EQ(settledContent(*view.browser()).files.size(), 2);
    ASSERT_TRUE(test::eventually([&] { return reloaded.count() >= 1; }));
}

TEST(CollectionViewTest, AnEmptyCollectionNamesItselfInLowerCase)
{
    AppFixture app;
    app.makeLibrary();
    const SidebarItem large = SidebarItem::smart(SmartCollection::large);
    CollectionView view(app.context, large);
    ASSERT_TRUE(test::eventually([&] { return !app.library->isLoading(large); }));
    const BrowserContent& content = settledContent(*view.browser());
    EXPECT_EQ(content.state, BrowserContent::State::empty);
    EXPECT_EQ(content.emptyTitle, "Nothing Here");
    EXPECT_EQ(content.emptySymbol, "externaldrive");
    EXPECT_EQ(content.emptyMessage, "Ovra couldn't find any large files in your home folders.");
}
