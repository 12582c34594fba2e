#include "browser/DetailRoute.h"
#include "browser/BrowserHeader.h"
#include "browser/CollectionView.h"
#include "browser/DetailView.h"
#include "browser/FileBrowser.h"
#include "browser/FolderView.h"
#include "library/AppState.h"
#include "ui/EmptyStateView.h"

#include "support/TestHome.h"

#include <QCoreApplication>
#include <QPointer>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

const Location kDownloads{QStringLiteral("/home/u/Downloads"), QStringLiteral("Downloads"),
                          QStringLiteral("arrow.down.circle")};

AppContext stateOnly(AppState& state)
{
    AppContext context;
    context.state = &state;
    return context;
}

} // namespace

TEST(DetailRoute, EachSelectionHasItsScreen)
{
    struct Case {
        std::optional<SidebarItem> selection;
        DetailScreen screen;
        bool carriesItem;
    };
    const Case cases[] = {
        {std::nullopt, DetailScreen::home, false},
        {SidebarItem::home(), DetailScreen::home, false},
        {SidebarItem::smart(SmartCollection::recents), DetailScreen::collection, true},
        {SidebarItem::category(FileCategory::music), DetailScreen::collection, true},
        {SidebarItem::location(kDownloads), DetailScreen::folder, true},
        {SidebarItem::cleanup(CleanupKind::oldDownloads), DetailScreen::cleanupReview, true},
        {SidebarItem::source(QStringLiteral("Slack")), DetailScreen::source, true},
        {SidebarItem::duplicates(), DetailScreen::duplicates, false},
        {SidebarItem::cleanupHub(), DetailScreen::cleanupHub, false},
        {SidebarItem::sources(), DetailScreen::sourcesHub, false},
    };
    for (const Case& c : cases) {
        SCOPED_TRACE(c.selection ? c.selection->title().toStdString() : "none");
        const DetailRoute route = detailRoute(c.selection, false);
        EXPECT_EQ(route.screen, c.screen);
        if (c.carriesItem)
            EXPECT_EQ(route.item, c.selection);
        else
            EXPECT_FALSE(route.item);
    }
}

TEST(DetailRoute, ASearchWinsOverEverySelection)
{
    for (const auto& selection :
         {std::optional<SidebarItem>(), std::optional(SidebarItem::location(kDownloads)),
          std::optional(SidebarItem::duplicates())}) {
        EXPECT_EQ(detailRoute(selection, true), (DetailRoute{DetailScreen::search, std::nullopt}));
    }
}

class DetailViewTest : public ::testing::Test {
protected:
    QString shownTitle() const
    {
        if (auto* collection = qobject_cast<CollectionView*>(view.screen()))
            return collection->browser()->header()->title();
        if (auto* folder = qobject_cast<FolderView*>(view.screen())) return folder->title();
        auto* empty = qobject_cast<EmptyStateView*>(view.screen());
        return empty ? empty->title() : QString();
    }

    test::TestHome home;
    AppState state;
    DetailView view{stateOnly(state)};
};

TEST_F(DetailViewTest, ASearchCoversTheSelectedFolderUntilItsTextIsCleared)
{
    state.setSelection(SidebarItem::location(kDownloads));
    EXPECT_EQ(view.route().screen, DetailScreen::folder);

    state.setSearchText(QStringLiteral("  \t"));
    EXPECT_EQ(view.route().screen, DetailScreen::folder) << "blanks are no search";

    state.setSearchText(QStringLiteral("inv"));
    EXPECT_EQ(view.route().screen, DetailScreen::search);
    const QPointer<QWidget> searchScreen = view.screen();
    state.setSearchText(QStringLiteral("invoice"));
    EXPECT_EQ(view.screen(), searchScreen) << "typing on keeps the search screen";

    state.setSearchText(QString());
    EXPECT_EQ(view.route(), (DetailRoute{DetailScreen::folder, SidebarItem::location(kDownloads)}));
    EXPECT_EQ(shownTitle(), QStringLiteral("Downloads"));
}

TEST_F(DetailViewTest, AnotherCollectionIsAFreshScreen)
{
    state.setSelection(SidebarItem::smart(SmartCollection::recents));
    const QPointer<QWidget> recents = view.screen();
    EXPECT_EQ(shownTitle(), QStringLiteral("Recents"));

    state.setSelection(SidebarItem::category(FileCategory::images));
    EXPECT_EQ(view.route().screen, DetailScreen::collection);
    EXPECT_NE(view.screen(), recents.data());
    EXPECT_EQ(shownTitle(), QStringLiteral("Images"));

    // The old screen goes once control is back in the event loop.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_TRUE(recents.isNull());
}
