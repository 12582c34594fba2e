#include "BrowserFixtures.h"
#include "browser/AppFileInteractions.h"
#include "browser/BrowserHeader.h"
#include "browser/FileBrowser.h"
#include "browser/FolderCard.h"
#include "browser/FolderItemCard.h"
#include "browser/FolderView.h"
#include "browser/GalleryCard.h"
#include "browser/HomeView.h"
#include "library/Fmt.h"
#include "support/Wait.h"
#include "ui/DotsButton.h"
#include "ui/SectionTitle.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QApplication>
#include <QContextMenuEvent>
#include <QLabel>
#include <QMenu>
#include <QPointer>
#include <QPromise>
#include <QTest>
#include <QTimer>

#include <gtest/gtest.h>

#include <map>
#include <memory>

using namespace ovra;
using namespace ovra::test;

namespace {

// Listings the test finishes by hand, in any order.
struct ManualLister {
    std::map<QString, std::shared_ptr<QPromise<FolderListing>>> pending;

    FolderView::Lister lister()
    {
        return [this](const QString& folder) {
            auto promise = std::make_shared<QPromise<FolderListing>>();
            promise->start();
            pending[folder] = promise;
            return promise->future();
        };
    }
    void finish(const QString& folder, FolderListing listing)
    {
        auto promise = pending.at(folder);
        promise->addResult(std::move(listing));
        promise->finish();
        QCoreApplication::processEvents();
    }
};

FolderListing listing(QList<FileItem> items)
{
    return {std::move(items), FolderError::none};
}

QStringList names(const QList<FileItem>& items)
{
    QStringList out;
    for (const FileItem& item : items)
        out << item.name;
    return out;
}

SpotlightResult result(int shown, qint64 total, qint64 size = 0)
{
    SpotlightResult r;
    r.items = files(shown);
    r.totalCount = total;
    r.totalSize = size;
    return r;
}

QStringList titlesOf(const QMenu& menu)
{
    QStringList titles;
    for (const QAction* action : menu.actions())
        titles << (action->isSeparator() ? QStringLiteral("-") : action->text());
    return titles;
}

// The titles of the menu the card's menu button opens, after `act` ran on
// it; none when no menu opens. The button runs its menu in a loop of its own
// as it is pressed, so the menu is met from a timer inside that loop.
using MenuAction = std::function<void(QMenu&)>;

QStringList menuFromButton(FolderCard& card, const MenuAction& act = {})
{
    QStringList titles;
    QTimer poll;
    QObject::connect(&poll, &QTimer::timeout, &poll, [&] {
        auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
        if (!menu) return;
        poll.stop();
        titles = titlesOf(*menu);
        if (act) act(*menu);
        menu->close();
    });
    poll.start(10);
    QTest::mouseClick(card.menuButton(), Qt::LeftButton);
    return titles;
}

// The same for the menu a right click opens.
QStringList menuFromRightClick(QWidget& card, const MenuAction& act = {})
{
    const QPoint at = card.rect().center();
    QContextMenuEvent rightClick(QContextMenuEvent::Mouse, at, card.mapToGlobal(at));
    QApplication::sendEvent(&card, &rightClick);
    auto* menu = qobject_cast<QMenu*>(QApplication::activePopupWidget());
    if (!menu) return {};
    const QStringList titles = titlesOf(*menu);
    // An action may take the card away, and with it the menu it owns.
    const QPointer<QMenu> stays(menu);
    if (act) act(*menu);
    if (stays) stays->close();
    return titles;
}

void trigger(QMenu& menu, const QString& title)
{
    for (QAction* action : menu.actions()) {
        if (action->text() == title) {
            action->trigger();
            return;
        }
    }
}

} // namespace

// Folder view

TEST(FolderView, ALateListingNeverReplacesTheNewerFolders)
{
    AppFixture app;
    const Location location{QStringLiteral("/t"), QStringLiteral("Stuff"),
                            QStringLiteral("folder")};
    app.state.setSelection(SidebarItem::location(location));
    ManualLister lists;
    FolderView view(app.context, location, nullptr, lists.lister());

    app.state.setFolderPath({QStringLiteral("/t/a")});
    app.state.setFolderPath({QStringLiteral("/t/b")});
    lists.finish(QStringLiteral("/t/b"), listing({file("in-b")}));
    lists.finish(QStringLiteral("/t/a"), listing({file("in-a")}));
    lists.finish(QStringLiteral("/t"), listing({file("in-root")}));
    EXPECT_EQ(names(view.items()), QStringList{"in-b"});
    EXPECT_FALSE(view.isLoading());

    // A raised token lists the same folder again.
    app.state.setRefreshToken(RefreshToken(1));
    EXPECT_TRUE(view.isLoading());
    EXPECT_EQ(view.listKey(), QStringLiteral("/t/b#1"));
    lists.finish(QStringLiteral("/t/b"), listing({file("in-b"), file("new")}));
    EXPECT_EQ(names(view.items()), (QStringList{"in-b", "new"}));
}

TEST(FolderView, AMissingFolderAndAnUnreadableOneAreToldApart)
{
    const QString missing = FolderView::errorMessage(FolderError::notFound, "/t/Old");
    const QString locked = FolderView::errorMessage(FolderError::noPermission, "/t/Secret");
    EXPECT_EQ(missing,
              "The folder “Old” no longer exists. It may have been moved, renamed or deleted.");
    EXPECT_TRUE(locked.startsWith("Ovra doesn't have permission to read “Secret”."));
    EXPECT_FALSE(locked.contains("System Settings"));

    // A real missing folder, listed from the disk.
    AppFixture app;
    const Location gone{app.home.path("Gone"), QStringLiteral("Gone"), QStringLiteral("folder")};
    FolderView view(app.context, gone);
    ASSERT_TRUE(test::eventually([&] { return !view.isLoading(); }));
    EXPECT_EQ(view.error(), FolderView::errorMessage(FolderError::notFound, gone.path));
    EXPECT_EQ(settledContent(*view.browser()).emptyTitle, "Can't Open Folder");

    // An empty folder is not an error.
    const Location empty{app.home.makeFolder("Empty"), QStringLiteral("Empty"),
                         QStringLiteral("folder")};
    app.home.writeFile("Empty/.hidden");
    FolderView emptyView(app.context, empty);
    ASSERT_TRUE(test::eventually([&] { return !emptyView.isLoading(); }));
    EXPECT_EQ(settledContent(*emptyView.browser()).emptyTitle, "Empty Folder");
    EXPECT_EQ(emptyView.browser()->content().emptyMessage, "There's nothing in this folder yet.");
}

TEST(FolderView, TitlesPathsAndTheBackButton)
{
    AppFixture app;
    const Location location{app.home.makeFolder("Desktop"), QStringLiteral("Desktop"),
                            QStringLiteral("folder")};
    app.state.setSelection(SidebarItem::location(location));
    FolderView view(app.context, location);
    EXPECT_EQ(view.title(), "Desktop");
    EXPECT_EQ(view.subtitle(), "~/Desktop");
    EXPECT_FALSE(view.browser()->canGoBack());
    EXPECT_EQ(view.browser()->accessory(), nullptr);

    app.state.openFolder(app.home.makeFolder("Desktop/Project"));
    EXPECT_EQ(view.title(), "Project");
    EXPECT_TRUE(view.browser()->canGoBack());
    EXPECT_NE(view.browser()->accessory(), nullptr);
    // The header's back button goes up one level, as Go › Back does.
    view.browser()->header()->backButton()->click();
    EXPECT_TRUE(app.state.folderPath().isEmpty());
    EXPECT_EQ(view.title(), "Desktop");
}

// Folder cards

TEST(FolderCard, DetailTextAndBadge)
{
    EXPECT_EQ(FolderCard::detailText(std::nullopt, std::nullopt), "…");
    EXPECT_EQ(FolderCard::detailText(1, std::nullopt), "1 item");
    EXPECT_EQ(FolderCard::detailText(0, std::nullopt), "0 items");
    EXPECT_EQ(FolderCard::detailText(1234, std::nullopt), QLocale().toString(1234) + " items");
    EXPECT_EQ(FolderCard::detailText(10, QStringLiteral("detail")), "detail");

    EXPECT_EQ(FolderCard::extraCount(10, 3), 7);
    EXPECT_EQ(FolderCard::extraCount(2, 3), 0);
    EXPECT_EQ(FolderCard::extraCount(std::nullopt, 0), 0);
    EXPECT_EQ(PreviewStack::badgeText(7), "+7");
    EXPECT_EQ(PreviewStack::badgeText(247), "+99");
    EXPECT_EQ(PreviewStack::badgeText(0), "");
    EXPECT_EQ(PreviewStack::badgeText(-3), "");
    EXPECT_TRUE(PreviewStack::showsFolderSymbol(0, 0));
    EXPECT_FALSE(PreviewStack::showsFolderSymbol(0, -1));

    FolderCard card;
    card.setCount(10);
    card.setPreviews(files(5, FileCategory::images));
    EXPECT_EQ(card.previewStack()->shownItems().size(), 3);
    EXPECT_EQ(card.previewStack()->shownBadge(), "+7");
}

TEST(FolderItemCard, CountsEveryEntryAndPreviewsTheNewestFiles)
{
    AppFixture app;
    app.home.writeFile("Mixed/old.png", QByteArray(), 1000);
    app.home.writeFile("Mixed/new.png", QByteArray(), 3000);
    app.home.writeFile("Mixed/notes.unknownkind", QByteArray(), 5000);
    app.home.makeFolder("Mixed/Sub");
    FolderItemCard card(app.context);
    card.setFolder(app.home.path("Mixed"));
    // A listing that ends before its answer is awaited is applied at once.
    if (!card.hasListed()) {
        EXPECT_EQ(card.shownDetail(), "…");
    }
    ASSERT_TRUE(test::eventually([&] { return card.hasListed(); }));
    EXPECT_EQ(card.count(), 4);
    EXPECT_EQ(names(card.previews()), (QStringList{"new.png", "old.png"}));
    EXPECT_EQ(card.previewStack()->shownBadge(), "+2");
    EXPECT_EQ(card.title(), "Mixed");
    EXPECT_EQ(card.tint(), Theme::pastel(u"Mixed"));

    // Pointed at a missing folder: the other folder's figures go at once, and
    // it reads 0 items.
    card.setFolder(app.home.path("Nowhere"));
    EXPECT_NE(card.count(), 4);
    EXPECT_TRUE(card.previews().isEmpty());
    ASSERT_TRUE(test::eventually([&] { return card.hasListed(); }));
    EXPECT_EQ(card.shownDetail(), "0 items");
}

// Home view

TEST(HomeView, GreetingByHour)
{
    EXPECT_EQ(homeGreeting(11), "Good morning");
    EXPECT_EQ(homeGreeting(12), "Good afternoon");
    EXPECT_EQ(homeGreeting(16), "Good afternoon");
    EXPECT_EQ(homeGreeting(17), "Good evening");
    EXPECT_EQ(homeGreeting(4), "Good evening");
    EXPECT_EQ(homeGreeting(5), "Good morning");
}

TEST(HomeView, SummaryCountsTheLoadedCategoriesOnly)
{
    QHash<SidebarItem, SpotlightResult> collections;
    EXPECT_EQ(homeSummaryLine(collections), "Taking stock of everything on your computer…");
    collections.insert(SidebarItem::smart(SmartCollection::recents), result(1, 40, 10));
    EXPECT_EQ(homeSummaryLine(collections), "Taking stock of everything on your computer…");
    collections.insert(SidebarItem::category(FileCategory::images), result(1, 1, 2000));
    EXPECT_EQ(homeSummaryLine(collections),
              "1 file · " + Fmt::bytes(2000) + " across your computer");
    collections.insert(SidebarItem::category(FileCategory::apps), result(1, 2233, 1000));
    EXPECT_EQ(homeSummaryLine(collections),
              QLocale().toString(2234) + " files · " + Fmt::bytes(3000) + " across your computer");
}

TEST(HomeView, PinnedFoldersComeFirstAndTintsStartAtTheSecondPastel)
{
    const QList<Location> standard{{"/h/Desktop", "Desktop", "d"}, {"/h/Videos", "Videos", "v"}};
    const QList<Location> folders = homeFolders({"/x/Pinned One", "/y/Two"}, standard);
    QStringList titles;
    for (const Location& l : folders)
        titles << l.title;
    EXPECT_EQ(titles, (QStringList{"Pinned One", "Two", "Desktop", "Videos"}));
    const auto& pastels = Theme::pastels();
    EXPECT_EQ(homeFolderTint(0), pastels[1]);
    EXPECT_EQ(homeFolderTint(1), pastels[2]);
    EXPECT_EQ(homeFolderTint(5), pastels[0]);
    EXPECT_EQ(homeFolderTint(6), pastels[1]);
}

TEST(HomeView, ShelvesShowTwentyCardsAndTheWholeCount)
{
    AppFixture app;
    app.makeLibrary();
    HomeView home(app.context);
    Shelf* recents = home.shelves().first();
    EXPECT_TRUE(recents->isHidden());

    recents->show(result(50, 5000));
    EXPECT_FALSE(recents->isHidden());
    EXPECT_EQ(recents->items().size(), Shelf::kShownItems);
    EXPECT_EQ(recents->sectionTitle()->countText(), QLocale().toString(5000));
    recents->show(result(0, 0));
    EXPECT_TRUE(recents->isHidden());

    recents->show(result(3, 3));
    app.state.setCardSize(CardSize::large);
    EXPECT_EQ(recents->cards().first()->cardSize(), CardSize::large);

    // The folder grid: the six standard folders by role, pinned ones ahead.
    app.state.setPinned({app.home.makeFolder("Elsewhere")});
    ASSERT_TRUE(test::eventually([&] { return home.folderCards().size() == 7; }));
    EXPECT_EQ(home.folderCards().first()->title(), "Elsewhere");
    EXPECT_EQ(home.foldersTitle()->countText(), "7");
    home.addFolder(app.home.path("Elsewhere"));
    EXPECT_EQ(app.state.pinned().size(), 1);
}

// The menus of folder cards: the menu button and a right click

TEST(CardMenus, HomeLibraryCardsOfferOpenAndRefresh)
{
    AppFixture app;
    app.makeLibrary();
    HomeView home(app.context);
    home.resize(1000, 800);
    home.show();
    FolderCard* images = home.categoryCards().first();
    ASSERT_EQ(images->title(), "Images");

    const QStringList expected{"Open Images", "Refresh"};
    EXPECT_EQ(menuFromButton(*images, [](QMenu& m) { trigger(m, "Open Images"); }), expected);
    EXPECT_EQ(app.state.selection(), SidebarItem::category(FileCategory::images));
    const RefreshToken token = app.state.refreshToken();
    EXPECT_EQ(
        menuFromRightClick(*home.categoryCards().last(), [](QMenu& m) { trigger(m, "Refresh"); }),
        (QStringList{"Open Apps", "Refresh"}));
    EXPECT_EQ(app.state.refreshToken(), token.next());
}

TEST(CardMenus, HomeFolderCardsOfferOpenShowAndTheFavouritesEntry)
{
    AppFixture app;
    app.makeLibrary();
    const QString pinned = app.home.makeFolder("Pinned");
    app.state.setPinned({pinned});
    HomeView home(app.context);
    home.resize(1000, 800);
    home.show();
    // The standard folders come from a pool thread. Until they are in, the
    // pinned folder's card is the last, and unpinning it takes the card away.
    ASSERT_TRUE(test::eventually([&] { return home.folderCards().size() > 1; }));
    FolderItemCard* card = home.folderCards().first();
    ASSERT_EQ(card->path(), pinned);

    EXPECT_EQ(menuFromButton(*card),
              (QStringList{"Open", "Show in Folder", "Remove from Favourites"}));
    EXPECT_EQ(menuFromRightClick(*card, [](QMenu& m) { trigger(m, "Remove from Favourites"); }),
              (QStringList{"Open", "Show in Folder", "Remove from Favourites"}));
    EXPECT_TRUE(app.state.pinned().isEmpty());
    // The entry is read afresh each time the menu opens.
    ASSERT_TRUE(test::eventually([&] { return !home.folderCards().isEmpty(); }));
    FolderItemCard* standard = home.folderCards().first();
    EXPECT_EQ(menuFromButton(*standard).last(), "Add to Favourites");
}

TEST(CardMenus, FolderCardsInAFolderOfferTheFileMenu)
{
    AppFixture app;
    const Location location{app.home.makeFolder("Work"), QStringLiteral("Work"),
                            QStringLiteral("folder")};
    const QString sub = app.home.makeFolder("Work/Plans");
    app.home.writeFile("Work/notes.txt", "notes");
    AppFileInteractions interactions(app.context);
    app.context.interactions = &interactions;
    app.state.setSelection(SidebarItem::location(location));
    FolderView view(app.context, location);
    view.resize(1000, 800);
    view.show();
    QWidget* tile = nullptr;
    ASSERT_TRUE(test::eventually([&] {
        settled(*view.browser());
        return (tile = view.browser()->tileWidget(sub)) != nullptr;
    }));
    auto* card = qobject_cast<FolderItemCard*>(tile);
    ASSERT_NE(card, nullptr);

    const QStringList folderMenu{"Open",
                                 "Open with Default App",
                                 "-",
                                 "Show in Folder",
                                 "Pin to Sidebar",
                                 "Copy",
                                 "Copy Path",
                                 "-",
                                 "Move to Trash"};
    EXPECT_EQ(menuFromButton(*card), folderMenu);
    EXPECT_EQ(menuFromRightClick(*card, [](QMenu& m) { trigger(m, "Pin to Sidebar"); }),
              folderMenu);
    EXPECT_EQ(app.state.pinned(), QStringList{sub});
}
