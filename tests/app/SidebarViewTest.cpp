#include "app/SidebarView.h"
#include "app/SidebarRow.h"
#include "app/SymbolButton.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "platform/UserFile.h"
#include "platform/metadata/MetadataIndex.h"
#include "support/QtApp.h"
#include "support/TestHome.h"
#include "support/Wait.h"
#include "ui/AppContext.h"
#include "ui/PathText.h"

#include <QAction>
#include <QMenu>
#include <QTest>

#include <gtest/gtest.h>

#include <memory>

using namespace ovra;
using ovra::test::TestHome;

namespace {

struct FakeCleanup : CleanupSummary {
    qint64 bytes = 0;
    QFuture<void> load(const QStringList&, qint64) override { return {}; }
    qint64 totalReclaimable() const override { return bytes; }
};

struct FakeSources : SourceSummary {
    int groups = 0;
    QFuture<void> load(const QStringList&, qint64) override { return {}; }
    int groupCount() const override { return groups; }
};

struct FakeDuplicates : DuplicateSummary {
    qint64 bytes = 0;
    bool isIdle() const override { return false; }
    QFuture<void> scan(const QStringList&) override { return {}; }
    qint64 exactReclaimable() const override { return bytes; }
};

struct FakePlayer : PlayerSummary {
    bool current = false;
    bool hasCurrent() const override { return current; }
    QString currentPath() const override { return {}; }
    void play(const FileItem&, const QList<FileItem>&) override {}
};

// A sidebar over a fixture home. The stores of parts not built yet stay null
// unless a test plugs in a fake.
struct Sidebar {
    TestHome home;
    std::unique_ptr<md::MetadataIndex> index;
    std::unique_ptr<LibraryStore> library;
    AppState state;
    AppContext context;
    std::unique_ptr<QWidget> window;
    SidebarView* view = nullptr;

    Sidebar()
    {
        home.makeFolder(QStringLiteral("Pictures"));
        home.makeFolder(QStringLiteral("Videos"));
        index = std::make_unique<md::MetadataIndex>();
        library = std::make_unique<LibraryStore>(*index);
        context.index = index.get();
        context.state = &state;
        context.library = library.get();
    }

    SidebarView& make()
    {
        window = std::make_unique<QWidget>();
        view = new SidebarView(context, window.get());
        window->resize(SidebarView::kWidth, 1400);
        view->resize(SidebarView::kWidth, 1400);
        window->show();
        // The standard folders are read on a pool thread.
        EXPECT_TRUE(test::eventually([&] { return view->hasLocations(); }));
        return *view;
    }

    void load(const SidebarItem& item) { ASSERT_TRUE(test::waitFor(library->load(item, 0))); }

    SidebarRow* row(const QString& title) const
    {
        for (SidebarRow* r : view->rows())
            if (r->title() == title) return r;
        return nullptr;
    }

    QStringList titles() const
    {
        QStringList out;
        for (const SidebarRow* r : view->rows())
            out.append(r->title());
        return out;
    }

    QStringList selectedTitles() const
    {
        QStringList out;
        for (const SidebarRow* r : view->rows())
            if (r->isSelected()) out.append(r->title());
        return out;
    }
};

const QStringList kPlaceTitles{
    QStringLiteral("Home"),           QStringLiteral("Recents"),    QStringLiteral("Images"),
    QStringLiteral("Videos"),         QStringLiteral("Music"),      QStringLiteral("Documents"),
    QStringLiteral("Archives"),       QStringLiteral("Apps"),       QStringLiteral("Large Files"),
    QStringLiteral("Screenshots"),    QStringLiteral("Duplicates"), QStringLiteral("Clean Up"),
    QStringLiteral("Downloaded From")};

// What the view lists, read here as its pool thread reads it.
QList<Location> standardLocations()
{
    const UserFile::AllowOnThisThread directReads;
    return Location::standard();
}

QStringList standardTitles()
{
    QStringList out;
    for (const Location& location : standardLocations())
        out.append(location.title);
    return out;
}

QStringList actionTexts(const QMenu& menu)
{
    QStringList out;
    for (const QAction* action : menu.actions())
        out.append(action->text());
    return out;
}

// Runs the deferred deletions, so replaced rows are really gone.
void settle()
{
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    QCoreApplication::processEvents();
}

} // namespace

TEST(SidebarView, ListsEveryPlaceInOrder)
{
    Sidebar s;
    SidebarView& view = s.make();
    EXPECT_EQ(view.width(), 252);
    EXPECT_EQ(s.titles(), kPlaceTitles + standardTitles());
    EXPECT_EQ(view.headings(), QStringList{QStringLiteral("Locations")});
    for (const SidebarRow* row : view.rows()) {
        EXPECT_FALSE(row->isStarred()) << row->title().toStdString();
        EXPECT_TRUE(row->badgeText().isEmpty()) << row->title().toStdString();
        EXPECT_TRUE(row->detailText().isEmpty()) << row->title().toStdString();
    }
    EXPECT_EQ(view.rows().at(2)->entry(), SidebarItem::category(FileCategory::images));
    EXPECT_EQ(view.rows().at(kPlaceTitles.size())->entry(),
              SidebarItem::location(standardLocations().first()));
}

TEST(SidebarView, CountsAppearAsCollectionsLoadWithTheLocalesGrouping)
{
    const QLocale previous;
    QLocale::setDefault(QLocale(QLocale::German, QLocale::Germany));
    Sidebar s;
    for (int i = 0; i < 1200; ++i)
        s.home.writeFile(QStringLiteral("Pictures/p%1.png").arg(i), "not really a png");
    s.home.writeFile(QStringLiteral("Pictures/big.bin"), QByteArray());
    s.make();
    SidebarRow* images = s.row(QStringLiteral("Images"));
    EXPECT_TRUE(images->badgeText().isEmpty());

    s.load(SidebarItem::category(FileCategory::images));
    EXPECT_EQ(images->badgeText(), QStringLiteral("1.200"));
    EXPECT_FALSE(images->isAlert());

    // Loaded without a match: still no badge.
    s.load(SidebarItem::category(FileCategory::videos));
    EXPECT_TRUE(s.row(QStringLiteral("Videos"))->badgeText().isEmpty());
    s.load(SidebarItem::smart(SmartCollection::recents));
    EXPECT_TRUE(s.row(QStringLiteral("Recents"))->badgeText().isEmpty());

    // Trashed files lower the count at once.
    s.library->remove({s.home.path(QStringLiteral("Pictures/p0.png"))});
    EXPECT_EQ(images->badgeText(), QStringLiteral("1.199"));
    QLocale::setDefault(previous);
}

TEST(SidebarView, LargeFilesCountIsAnAlert)
{
    Sidebar s;
    const QString big = s.home.path(QStringLiteral("Videos/film.bin"));
    s.home.writeFile(QStringLiteral("Videos/film.bin"));
    // Sparse: the size counts, the disk space does not.
    ASSERT_TRUE(QFile::resize(big, 150'000'000));
    s.make();
    s.load(SidebarItem::smart(SmartCollection::large));
    SidebarRow* large = s.row(QStringLiteral("Large Files"));
    EXPECT_EQ(large->badgeText(), QStringLiteral("1"));
    EXPECT_TRUE(large->isAlert());
}

TEST(SidebarView, ToolFiguresOnlyFromSummariesThatExistAndHaveSomething)
{
    Sidebar s;
    FakeCleanup cleanup;
    FakeSources sources;
    FakeDuplicates duplicates;
    s.context.cleanup = &cleanup;
    s.context.sources = &sources;
    s.context.duplicates = &duplicates;
    s.make();
    SidebarRow* dupes = s.row(QStringLiteral("Duplicates"));
    SidebarRow* cleanUp = s.row(QStringLiteral("Clean Up"));
    SidebarRow* from = s.row(QStringLiteral("Downloaded From"));

    // Built, but nothing found yet.
    EXPECT_TRUE(dupes->detailText().isEmpty());
    EXPECT_TRUE(cleanUp->detailText().isEmpty());
    EXPECT_TRUE(from->badgeText().isEmpty());

    duplicates.bytes = 812'000'000;
    emit duplicates.changed();
    cleanup.bytes = 3'400'000'000;
    emit cleanup.changed();
    sources.groups = 7;
    emit sources.changed();
    EXPECT_EQ(dupes->detailText(), Fmt::bytes(812'000'000));
    EXPECT_EQ(cleanUp->detailText(), Fmt::bytes(3'400'000'000));
    EXPECT_EQ(from->badgeText(), QStringLiteral("7"));
    EXPECT_FALSE(from->isAlert());

    // Back to nothing: the figures go.
    duplicates.bytes = 0;
    emit duplicates.changed();
    EXPECT_TRUE(dupes->detailText().isEmpty());
}

TEST(SidebarView, SelectionShowsOnlyWhileNoSearchIsActive)
{
    Sidebar s;
    s.make();
    EXPECT_EQ(s.selectedTitles(), QStringList{QStringLiteral("Home")});

    // Blanks are no search.
    s.state.setSearchText(QStringLiteral(" \t"));
    EXPECT_EQ(s.selectedTitles(), QStringList{QStringLiteral("Home")});
    s.state.setSearchText(QStringLiteral("invoice"));
    EXPECT_TRUE(s.selectedTitles().isEmpty());

    // A click selects the row and ends the search.
    QTest::mouseClick(s.row(QStringLiteral("Music")), Qt::LeftButton);
    EXPECT_EQ(s.state.selection(), SidebarItem::category(FileCategory::music));
    EXPECT_EQ(s.state.searchText(), QString());
    EXPECT_EQ(s.selectedTitles(), QStringList{QStringLiteral("Music")});

    s.state.setSelection(SidebarItem::cleanup(CleanupKind::installers));
    EXPECT_EQ(s.selectedTitles(), QStringList{QStringLiteral("Clean Up")});
    s.state.setSelection(SidebarItem::source(QStringLiteral("GitHub")));
    EXPECT_EQ(s.selectedTitles(), QStringList{QStringLiteral("Downloaded From")});
    s.state.setSelection(std::nullopt);
    EXPECT_TRUE(s.selectedTitles().isEmpty());
}

TEST(SidebarView, PinnedFoldersAreStarredFavouritesAboveTheLocations)
{
    Sidebar s;
    const QString projects = s.home.makeFolder(QStringLiteral("Projects"));
    const QString pictures = s.home.path(QStringLiteral("Pictures"));
    s.make();

    s.state.togglePin(projects);
    s.state.togglePin(pictures);
    settle();
    EXPECT_EQ(s.view->headings(),
              (QStringList{QStringLiteral("Favourites"), QStringLiteral("Locations")}));
    const QList<SidebarRow*> rows = s.view->rows();
    const qsizetype first = kPlaceTitles.size();
    ASSERT_EQ(rows.size(), first + 2 + standardTitles().size());
    EXPECT_EQ(rows[first]->title(), QStringLiteral("Projects"));
    EXPECT_EQ(rows[first]->entry(), SidebarItem::location({projects, QStringLiteral("Projects"),
                                                           QStringLiteral("folder")}));
    EXPECT_EQ(rows[first + 1]->title(), displayName(pictures));
    EXPECT_TRUE(rows[first]->isStarred());
    EXPECT_TRUE(rows[first + 1]->isStarred());
    // The pinned Pictures folder is listed again among the locations, unstarred.
    for (qsizetype i = first + 2; i < rows.size(); ++i)
        EXPECT_FALSE(rows[i]->isStarred());

    // Clicking the pinned copy selects it alone: the standard row differs in title and symbol.
    QTest::mouseClick(rows[first + 1], Qt::LeftButton);
    EXPECT_EQ(s.selectedTitles(), QStringList{displayName(pictures)});
}

TEST(SidebarView, FolderMenuPinsAndUnpins)
{
    Sidebar s;
    const QString pictures = s.home.path(QStringLiteral("Pictures"));
    s.make();
    Location standardPictures;
    for (const Location& location : standardLocations())
        if (location.path == pictures) standardPictures = location;
    ASSERT_FALSE(standardPictures.path.isEmpty());

    std::unique_ptr<QMenu> menu(s.view->folderMenu(standardPictures, nullptr));
    EXPECT_EQ(actionTexts(*menu),
              (QStringList{QStringLiteral("Add to Favourites"), QStringLiteral("Show in Folder")}));
    menu->actions().first()->trigger();
    EXPECT_EQ(s.state.pinned(), QStringList{pictures});
    settle();

    // The standard row's menu knows the folder is pinned now.
    menu.reset(s.view->folderMenu(standardPictures, nullptr));
    EXPECT_EQ(actionTexts(*menu).first(), QStringLiteral("Remove from Favourites"));
    menu->actions().first()->trigger();
    settle();
    EXPECT_TRUE(s.state.pinned().isEmpty());
    EXPECT_EQ(s.view->headings(), QStringList{QStringLiteral("Locations")});
    EXPECT_EQ(s.titles(), kPlaceTitles + standardTitles());
}

TEST(SidebarView, HideButtonCollapsesTheSidebar)
{
    Sidebar s;
    s.make();
    QTest::mouseClick(s.view->hideButton(), Qt::LeftButton);
    EXPECT_TRUE(s.state.sidebarCollapsed());
}

TEST(SidebarView, MiniPlayerSlotShowsOnlyWhileSomethingIsCurrent)
{
    Sidebar s;
    FakePlayer player;
    s.context.player = &player;
    s.make();
    auto* miniPlayer = new QWidget;
    s.view->setMiniPlayer(miniPlayer);
    EXPECT_TRUE(s.view->miniPlayerSlot()->isHidden());

    player.current = true;
    emit player.changed();
    EXPECT_FALSE(s.view->miniPlayerSlot()->isHidden());
    EXPECT_EQ(miniPlayer->parentWidget(), s.view->miniPlayerSlot());
}

TEST(SidebarView, WithoutAPlayerTheSlotStaysHidden)
{
    Sidebar s;
    s.make();
    s.view->setMiniPlayer(new QWidget);
    EXPECT_TRUE(s.view->miniPlayerSlot()->isHidden());
}
