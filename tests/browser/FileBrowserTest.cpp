#include "browser/FileBrowser.h"
#include "BrowserFixtures.h"
#include "browser/BrowserHeader.h"
#include "browser/FileInteractions.h"
#include "browser/FileRow.h"
#include "browser/GalleryCard.h"
#include "platform/Background.h"
#include "support/Wait.h"
#include "ui/SectionTitle.h"

#include <QAbstractButton>
#include <QApplication>
#include <QScrollBar>
#include <QSemaphore>
#include <QTest>
#include <QThread>

#include <gtest/gtest.h>

#include <atomic>

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

// Large lists

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
    // A card fills its cell: the column's width, from the top.
    const QRect drawn = card->cardRect().translated(card->pos());
    EXPECT_EQ(drawn.top(), cell.top());
    EXPECT_EQ(drawn.left(), cell.left());
    EXPECT_EQ(drawn.width(), cell.width());
    EXPECT_GT(drawn.width(), GalleryCard::cardWidth(app.state.cardSize()));
    browser->verticalScrollBar()->setValue(100);
    EXPECT_EQ(card->cardRect().translated(card->pos()).top(), cell.top() - 100);

    app.state.setViewMode(ViewMode::list);
    browser->refreshNow();
    QWidget* row = browser->tileWidget(QStringLiteral("/t/f4"));
    ASSERT_NE(qobject_cast<FileRow*>(row), nullptr);
    EXPECT_EQ(row->geometry(), browser->layout().itemRect(4).toRect().translated(
                                   0, -browser->verticalScrollBar()->value()));
}

// The model off the GUI thread

TEST_F(FileBrowserTest, TheModelIsComputedOffTheGuiThreadAndAStaleOneNeverShows)
{
    // The lookup stands for the read of each file's download origin.
    QThread* const gui = QThread::currentThread();
    std::atomic<int> onGuiThread{0};
    std::atomic<int> calls{0};
    QSemaphore gate;
    browser->setSourceLookup([&](const FileItem& item) -> std::optional<QString> {
        if (QThread::currentThread() == gui) ++onGuiThread;
        // The first list's reading is held until a newer list has been given.
        if (++calls == 1) gate.acquire();
        return item.name.startsWith(u'a') ? QStringLiteral("Mail") : QStringLiteral("Slack");
    });
    BrowserInput old;
    old.items = {file("old-1"), file("old-2")};
    browser->setInput(old);
    browser->refreshNow();
    ASSERT_TRUE(test::eventually([&] { return calls.load() >= 1; }));
    EXPECT_FALSE(browser->isContentCurrent());

    BrowserInput fresh;
    fresh.items = {file("a1"), file("a2"), file("b1")};
    browser->setInput(fresh);
    browser->refreshNow();
    gate.release(100);
    ASSERT_TRUE(settled(*browser));
    // The held computation ends now and must be dropped: once the pool that
    // computes lists is idle, its answer is posted, and applied on the next turn.
    background::pool(background::Pool::files).waitForDone();
    QCoreApplication::processEvents();
    EXPECT_EQ(browser->content().shown.size(), 3);
    EXPECT_EQ(browser->content().sourceCounts,
              (QList<SourceCount>{{QStringLiteral("Mail"), 2}, {QStringLiteral("Slack"), 1}}));
    EXPECT_EQ(onGuiThread.load(), 0);

    // A filter change reads no origin again: the list's sources are kept.
    const int read = calls.load();
    app.state.setSourceFilter(QStringLiteral("Mail"));
    EXPECT_EQ(settledContent(*browser).shown.size(), 2);
    EXPECT_EQ(calls.load(), read);
    app.state.setSourceFilter(std::nullopt);
    browser->setSourceLookup({});
}

// Clicks

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

TEST_F(FileBrowserTest, MusicPlaysFromItsListAndThePlayingFileIsMarked)
{
    struct RecordingPlayer : PlayerSummary {
        bool hasCurrent() const override { return !current.isEmpty(); }
        QString currentPath() const override { return current; }
        void play(const FileItem& item, const QList<FileItem>& list) override
        {
            current = item.path;
            queuedFrom = list;
            emit changed();
        }
        QString current;
        QList<FileItem> queuedFrom;
    } player;
    app.context.player = &player;
    browser = std::make_unique<FileBrowser>(app.context);
    browser->setSourceLookup({});
    browser->setInteractions(&interactions);
    browser->resize(1000, 800);
    browser->show();
    const QList<FileItem> items{file("a.mp3", FileCategory::music), file("notes.pdf"),
                                file("b.mp3", FileCategory::music)};
    show(items);

    QTest::mouseDClick(browser->tileWidget(QStringLiteral("/t/b.mp3")), Qt::LeftButton);
    EXPECT_EQ(player.current, QStringLiteral("/t/b.mp3"));
    EXPECT_EQ(player.queuedFrom.size(), 3);
    EXPECT_TRUE(interactions.opened.isEmpty());
    auto* playing = qobject_cast<GalleryCard*>(browser->tileWidget(QStringLiteral("/t/b.mp3")));
    auto* other = qobject_cast<GalleryCard*>(browser->tileWidget(QStringLiteral("/t/a.mp3")));
    ASSERT_TRUE(playing && other);
    EXPECT_TRUE(playing->isPlaying());
    EXPECT_FALSE(other->isPlaying());
    browser.reset();
}

// Keys

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
    ASSERT_TRUE(test::eventually([&] {
        const int top = browser->verticalScrollBar()->value();
        return target.top() >= top && target.bottom() <= top + browser->viewport()->height();
    }));
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

// Header

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
