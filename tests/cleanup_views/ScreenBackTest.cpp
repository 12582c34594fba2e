#include "app/ContentView.h"
#include "app/OvraCommands.h"
#include "browser/BrowserHeader.h"
#include "browser/DetailView.h"
#include "browser/FileBrowser.h"
#include "cleanup_views/CleanupScreens.h"
#include "library/AppState.h"
#include "support/TestHome.h"
#include "support/Wait.h"

#include <QAbstractButton>
#include <QApplication>
#include <QMainWindow>
#include <QMenuBar>
#include <QTest>

#include <gtest/gtest.h>

#include <functional>

using namespace ovra;

namespace {

// The window with the cleanup and download-source screens, over the app
// state alone, shown and active.
struct Window {
    test::TestHome home;
    AppState state;
    QMainWindow window;
    ContentView* content = nullptr;

    Window()
    {
        AppContext context;
        context.state = &state;
        installCleanupScreens(context);
        content = new ContentView(context, &window);
        window.setCentralWidget(content);
        new OvraCommands(context, window.menuBar());
        window.resize(1320, 860);
        window.show();
        window.activateWindow();
        EXPECT_TRUE(QTest::qWaitForWindowActive(&window, int(test::kPatience.count())));
    }

    FileBrowser* browser() const
    {
        QWidget* screen = content->detailView()->screen();
        return screen ? screen->findChild<FileBrowser*>() : nullptr;
    }
};

} // namespace

// One action owns each of these (Go › Back): on a screen with its own back
// button each does what that button does.
TEST(ScreenBack, AltLeftTheMouseBackButtonAndCtrlBracketActAsTheScreensBackButton)
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
