#include "browser/FileBrowser.h"
#include "BrowserFixtures.h"
#include "browser/BrowserHeader.h"
#include "browser/FileInteractions.h"
#include "browser/FileRow.h"
#include "browser/GalleryCard.h"
#include "ui/SectionTitle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScrollBar>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

class RecordingInteractions : public FileInteractions {
public:
    void open(const FileItem& item, const QList<FileItem>& list) override
    {
        opened << item.name;
        lastList = list;
    }
    void showContextMenu(const FileItem& item, const QList<FileItem>&, const QPoint&) override
    {
        menus << item.name;
    }
    void startDrag(const FileItem& item, const QList<FileItem>&, QWidget*) override
    {
        drags << item.name;
    }

    QStringList opened, menus, drags;
    QList<FileItem> lastList;
};

class FileBrowserTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        browser = std::make_unique<FileBrowser>(app.context);
        browser->setSourceLookup({});
        browser->setInteractions(&interactions);
        browser->resize(1000, 800);
        browser->show();
        // Focus goes only to a widget of the active window.
        QApplication::setActiveWindow(browser.get());
    }

    void show(QList<FileItem> items)
    {
        BrowserInput input;
        input.items = std::move(items);
        browser->setInput(std::move(input));
        browser->refreshNow();
        ASSERT_TRUE(settled(*browser));
    }

    void press(int key) { QTest::keyClick(browser.get(), Qt::Key(key)); }

    QString focusedName() const
    {
        return app.state.focusedItem() ? app.state.focusedItem()->name : QString();
    }

    AppFixture app;
    RecordingInteractions interactions;
    std::unique_ptr<FileBrowser> browser;
};

} // namespace

// MARK: Large lists

TEST_F(FileBrowserTest, FiftyThousandFilesMakeOnlyTheTilesInSightAndReuseThemWhileScrolling)
{
    show(files(50000, FileCategory::images));
    const int placed = browser->placedTileCount();
    EXPECT_GT(placed, 0);
    EXPECT_LE(placed, 24);
    EXPECT_NE(browser->tileWidget(QStringLiteral("/t/f0")), nullptr);

    QScrollBar* bar = browser->verticalScrollBar();
    for (int value = 0; value <= bar->maximum(); value += bar->maximum() / 50)
        bar->setValue(value);
    bar->setValue(bar->maximum());
    EXPECT_EQ(browser->tileWidget(QStringLiteral("/t/f0")), nullptr);
    EXPECT_NE(browser->tileWidget(QStringLiteral("/t/f49999")), nullptr);
    // Jumping through the whole list made no more tiles than two screens hold.
    EXPECT_LE(browser->madeTileCount(), 2 * 24);

    app.state.setViewMode(ViewMode::list);
    browser->refreshNow();
    for (int value = 0; value <= bar->maximum(); value += bar->maximum() / 50)
        bar->setValue(value);
    EXPECT_LE(browser->placedTileCount(), 20);
    EXPECT_LE(browser->madeTileCount(), 2 * 24 + 2 * 20);
}

TEST_F(FileBrowserTest, TilesStandWhereTheLayoutPutsThem)
{
    show(files(10));
    const QRect cell = browser->layout().itemRect(4).toRect();
    auto* card = qobject_cast<GalleryCard*>(browser->tileWidget(QStringLiteral("/t/f4")));
    ASSERT_NE(card, nullptr);
    // A card keeps its width and stands centred at the top of its cell.
    const QRect drawn = card->cardRect().translated(card->pos());
    EXPECT_EQ(drawn.top(), cell.top());
    EXPECT_LE(std::abs(drawn.center().x() - cell.center().x()), 1);
    browser->verticalScrollBar()->setValue(100);
    EXPECT_EQ(card->cardRect().translated(card->pos()).top(), cell.top() - 100);

    app.state.setViewMode(ViewMode::list);
    browser->refreshNow();
    QWidget* row = browser->tileWidget(QStringLiteral("/t/f4"));
    ASSERT_NE(qobject_cast<FileRow*>(row), nullptr);
    EXPECT_EQ(row->geometry(), browser->layout().itemRect(4).toRect().translated(
                                   0, -browser->verticalScrollBar()->value()));
}

// MARK: Clicks

TEST_F(FileBrowserTest, AClickSelectsCtrlTogglesAndTheBackgroundClears)
{
    show(files(5));
    QWidget* first = browser->tileWidget(QStringLiteral("/t/f0"));
    QWidget* third = browser->tileWidget(QStringLiteral("/t/f2"));
    ASSERT_TRUE(first && third);

    QTest::mouseClick(first, Qt::LeftButton);
    EXPECT_EQ(app.state.selectedFiles(), QSet<QString>{"/t/f0"});
    EXPECT_EQ(focusedName(), "f0");
    EXPECT_TRUE(browser->hasFocus());

    QTest::mouseClick(third, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(app.state.selectedFiles(), (QSet<QString>{"/t/f0", "/t/f2"}));
    QTest::mouseClick(third, Qt::LeftButton, Qt::ControlModifier);
    EXPECT_EQ(app.state.selectedFiles(), QSet<QString>{"/t/f0"});

    const QRect lastTile = browser->tileWidget(QStringLiteral("/t/f4"))->geometry();
    QTest::mouseClick(browser->viewport(), Qt::LeftButton, {},
                      QPoint(lastTile.center().x(), lastTile.bottom() + 30));
    EXPECT_TRUE(app.state.selectedFiles().isEmpty());
    EXPECT_EQ(app.state.focusedItem(), std::nullopt);
    EXPECT_TRUE(browser->hasFocus());
}

TEST_F(FileBrowserTest, DoubleClickOpensFoldersHereAndHandsEverythingElseOn)
{
    show({folder("Projects"), file("song.mp3", FileCategory::music)});
    QTest::mouseDClick(browser->tileWidget(QStringLiteral("/t/song.mp3")), Qt::LeftButton);
    EXPECT_EQ(interactions.opened, QStringList{"song.mp3"});
    EXPECT_EQ(interactions.lastList.size(), 2);

    QTest::mouseDClick(browser->tileWidget(QStringLiteral("/t/Projects")), Qt::LeftButton);
    const std::optional<SidebarItem> selection = app.state.selection();
    ASSERT_TRUE(selection.has_value());
    const Location* location = selection->as<Location>();
    ASSERT_NE(location, nullptr);
    EXPECT_EQ(location->path, QStringLiteral("/t/Projects"));
    EXPECT_EQ(interactions.opened.size(), 1);
}

// MARK: Keys

TEST_F(FileBrowserTest, ArrowsMoveTheSelectionInNavigationOrder)
{
    QList<FileItem> items = files(7);
    items << folder("A") << folder("B");
    show(items);
    ASSERT_EQ(browser->layout().columns(), 3);
    browser->setFocus();

    press(Qt::Key_Up); // no focus yet: the first item, the first folder
    EXPECT_EQ(focusedName(), "A");
    press(Qt::Key_Right);
    EXPECT_EQ(focusedName(), "B");
    press(Qt::Key_Down); // three places on: the third file
    EXPECT_EQ(focusedName(), "f2");
    EXPECT_EQ(app.state.selectedFiles(), QSet<QString>{"/t/f2"});
    for (int i = 0; i < 5; ++i)
        press(Qt::Key_Down);
    EXPECT_EQ(focusedName(), "f6");
    press(Qt::Key_Right);
    EXPECT_EQ(focusedName(), "f6");

    app.state.setViewMode(ViewMode::list);
    press(Qt::Key_Up);
    EXPECT_EQ(focusedName(), "f5");
}

TEST_F(FileBrowserTest, AnArrowScrollsTheTargetIntoView)
{
    show(files(400));
    browser->setFocus();
    press(Qt::Key_Down);
    for (int i = 0; i < 20; ++i)
        press(Qt::Key_Down);
    const QRectF target = browser->layout().itemRect(60);
    ASSERT_TRUE(QTest::qWaitFor(
        [&] {
            const int top = browser->verticalScrollBar()->value();
            return target.top() >= top && target.bottom() <= top + browser->viewport()->height();
        },
        3000));
}

TEST_F(FileBrowserTest, SpaceAndReturnActOnTheFocusedItemByCategory)
{
    show({file("a.png", FileCategory::images), file("b.mp3", FileCategory::music),
          file("c.zip", FileCategory::archives), folder("Dir")});
    browser->setFocus();
    press(Qt::Key_Return); // nothing focused: ignored
    EXPECT_EQ(app.state.previewItem(), std::nullopt);

    app.state.select(file("a.png", FileCategory::images), {});
    press(Qt::Key_Return);
    ASSERT_TRUE(app.state.previewItem().has_value());
    EXPECT_EQ(app.state.previewItem()->name, "a.png");
    EXPECT_EQ(app.state.previewList().size(), 3); // the shown list without its folders
    app.state.setPreviewItem(std::nullopt);

    app.state.select(file("b.mp3", FileCategory::music), {});
    press(Qt::Key_Return);
    EXPECT_EQ(interactions.opened, QStringList{"b.mp3"}); // plays: the interactions' business
    press(Qt::Key_Space);
    ASSERT_TRUE(app.state.previewItem().has_value()); // Space previews instead
    EXPECT_EQ(app.state.previewItem()->name, "b.mp3");

    app.state.select(file("c.zip", FileCategory::archives), {});
    press(Qt::Key_Return);
    EXPECT_EQ(interactions.opened, (QStringList{"b.mp3", "c.zip"}));

    app.state.select(folder("Dir"), {});
    press(Qt::Key_Space);
    ASSERT_TRUE(app.state.selection() && app.state.selection()->as<Location>());
}

// MARK: Header

TEST_F(FileBrowserTest, BackIsOfferedOnlyWithAnAction)
{
    EXPECT_FALSE(browser->canGoBack());
    EXPECT_TRUE(browser->header()->backButton()->isHidden());
    browser->goBack(); // nothing to call

    int backs = 0;
    browser->setOnBack([&] { ++backs; });
    EXPECT_FALSE(browser->header()->backButton()->isHidden());
    browser->goBack();
    browser->header()->backButton()->click();
    EXPECT_EQ(backs, 2);
}

TEST_F(FileBrowserTest, AFilterChangeReachesTheListAndTheFilesTitle)
{
    QList<FileItem> items = files(4);
    items[0].category = FileCategory::images;
    show(items);
    EXPECT_EQ(settledContent(*browser).files.size(), 4);
    app.state.setKindFilter(FileCategory::images);
    EXPECT_EQ(settledContent(*browser).files.size(), 1);
    EXPECT_EQ(browser->filesTitle()->countText(), "1");
    EXPECT_EQ(browser->placedTileCount(), 1);
}
