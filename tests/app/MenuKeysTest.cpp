#include "app/ContentView.h"
#include "app/OvraCommands.h"
#include "app/SearchField.h"
#include "app/TopBar.h"
#include "browser/BrowserHeader.h"
#include "browser/DetailView.h"
#include "browser/FileBrowser.h"
#include "cleanup_views/CleanupScreens.h"
#include "library/AppState.h"
#include "library/FileCategory.h"
#include "library/SidebarItem.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QLineEdit>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace ovra;

namespace {

// The window as the app makes it, with the cleanup and download-source
// screens, over the app state alone, shown and active.
struct Window {
    test::TestHome home;
    AppState state;
    QMainWindow window;
    ContentView* content = nullptr;
    QLineEdit* field = nullptr;

    Window()
    {
        AppContext context;
        context.state = &state;
        installCleanupScreens(context);
        content = new ContentView(context, &window);
        window.setCentralWidget(content);
        new OvraCommands(context, window.menuBar());
        window.resize(ContentView::kMinimumWidth, ContentView::kMinimumHeight);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, int(test::kPatience.count())));
        field = window.findChild<TopBar*>()->searchField()->lineEdit();
    }

    // Types a search into the field, which keeps the focus, as after any search.
    void search(const QString& text)
    {
        window.findChild<TopBar*>()->focusSearch();
        field->selectAll();
        QTest::keyClicks(field, text);
        ASSERT_EQ(QApplication::focusWidget(), field);
        ASSERT_EQ(content->detailView()->route().screen, DetailScreen::search);
    }

    void press(Qt::Key key, Qt::KeyboardModifiers modifiers)
    {
        QTest::keyClick(QApplication::focusWidget(), key, modifiers);
    }

    // The file list of the screen on show, if it has one.
    FileBrowser* browser() const
    {
        QWidget* screen = content->detailView()->screen();
        return screen ? screen->findChild<FileBrowser*>() : nullptr;
    }
};

} // namespace

// A Go command's keys reach it while the search field holds the focus; the
// search stays on screen over the place chosen until its text is cleared, and
// the field keeps the keys it edits with.
TEST(MenuKeys, GoCommandsAnswerFromTheSearchFieldWhichKeepsItsEditingKeys)
{
    Window w;
    const struct {
        Qt::Key key;
        Qt::KeyboardModifiers modifiers;
        SidebarItem place;
        DetailScreen screen;
    } places[] = {
        {Qt::Key_K, Qt::ControlModifier | Qt::ShiftModifier, SidebarItem::cleanupHub(),
         DetailScreen::cleanupHub},
        {Qt::Key_J, Qt::ControlModifier | Qt::ShiftModifier, SidebarItem::sources(),
         DetailScreen::sourcesHub},
        {Qt::Key_D, Qt::ControlModifier | Qt::ShiftModifier, SidebarItem::duplicates(),
         DetailScreen::duplicates},
        {Qt::Key_4, Qt::ControlModifier | Qt::AltModifier,
         SidebarItem::category(FileCategory::documents), DetailScreen::collection},
        {Qt::Key_F, Qt::ControlModifier | Qt::ShiftModifier,
         SidebarItem::smart(SmartCollection::recents), DetailScreen::collection},
        {Qt::Key_H, Qt::ControlModifier | Qt::ShiftModifier, SidebarItem::home(),
         DetailScreen::home},
    };
    for (const auto& place : places) {
        w.search(QStringLiteral("pdfs from last week"));
        w.press(place.key, place.modifiers);
        const std::string keys = QKeySequence(place.key | place.modifiers).toString().toStdString();
        EXPECT_EQ(w.state.selection(), place.place) << keys;
        EXPECT_EQ(w.state.searchText(), QStringLiteral("pdfs from last week")) << keys;
        EXPECT_EQ(w.content->detailView()->route().screen, DetailScreen::search) << keys;
        w.press(Qt::Key_Escape, Qt::NoModifier);
        EXPECT_EQ(w.content->detailView()->route().screen, place.screen) << keys;
    }

    // Selecting, moving by words and deleting stay the field's.
    w.search(QStringLiteral("big videos"));
    w.press(Qt::Key_A, Qt::ControlModifier);
    EXPECT_EQ(w.field->selectedText(), QStringLiteral("big videos"));
    w.press(Qt::Key_End, Qt::NoModifier);
    w.press(Qt::Key_Left, Qt::ControlModifier);
    EXPECT_EQ(w.field->cursorPosition(), 4);
    w.press(Qt::Key_Backspace, Qt::NoModifier);
    EXPECT_EQ(w.state.searchText(), QStringLiteral("bigvideos"));
    w.press(Qt::Key_Escape, Qt::NoModifier);
    EXPECT_TRUE(w.state.searchText().isEmpty());
    EXPECT_NE(QApplication::focusWidget(), w.field);
}

// One action owns each of these (Go › Back): on a screen with its own back
// button each does what that button does.
TEST(MenuKeys, AltLeftTheMouseBackButtonAndCtrlBracketActAsTheScreensBackButton)
{
    Window w;
    const struct {
        SidebarItem screen;
        SidebarItem before;
    } screens[] = {
        {SidebarItem::source(QStringLiteral("GitHub")), SidebarItem::sources()},
        {SidebarItem::cleanup(CleanupKind::oldDownloads), SidebarItem::cleanupHub()},
    };
    const std::function<void()> ways[] = {
        [&w] { QTest::keyClick(&w.window, Qt::Key_Left, Qt::AltModifier); },
        [&w] { QTest::mouseClick(w.browser()->viewport(), Qt::BackButton); },
        [&w] { QTest::keyClick(&w.window, Qt::Key_BracketLeft, Qt::ControlModifier); },
        [&w] { w.browser()->header()->backButton()->click(); },
    };
    for (const auto& [screen, before] : screens) {
        for (const auto& goBack : ways) {
            w.state.setSelection(screen);
            ASSERT_TRUE(test::eventually(
                [&] { return w.browser() && w.browser()->header()->backButton()->isVisible(); }));
            goBack();
            EXPECT_EQ(w.state.selection(), before) << screen.title().toStdString();
        }
    }
}
