#include "app/ContentView.h"
#include "library/AppState.h"

#include "support/TestHome.h"
#include "support/Wait.h"

#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;

namespace {

FileItem file(const QString& path)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    item.category = FileCategory::images;
    return item;
}

AppContext stateOnly(AppState& state)
{
    AppContext context;
    context.state = &state;
    return context;
}

class ContentViewTest : public ::testing::Test {
protected:
    void showAt(int width, int height)
    {
        view.resize(width, height);
        view.show();
        ASSERT_TRUE(QTest::qWaitForWindowExposed(&view, int(test::kPatience.count())));
    }

    test::TestHome home;
    AppState state;
    ContentView view{stateOnly(state)};
};

} // namespace

TEST_F(ContentViewTest, AtTheMinimumWidthBothPanelsLeaveTheCentreTheRest)
{
    state.setShowInspector(true);
    showAt(ContentView::kMinimumWidth, ContentView::kMinimumHeight);
    EXPECT_EQ(view.sidebarGroup()->width(), ContentView::kSidebarWidth + 1);
    EXPECT_EQ(view.inspectorGroup()->width(), ContentView::kInspectorWidth + 1);
    EXPECT_EQ(view.centreGroup()->width(), 1000 - 252 - 320 - 2);
}

TEST_F(ContentViewTest, WithBothPanelsHiddenTheCentreFillsTheWindow)
{
    showAt(1320, 860);
    state.setSidebarCollapsed(true);
    QCoreApplication::processEvents();
    EXPECT_FALSE(view.sidebarGroup()->isVisible());
    EXPECT_FALSE(view.inspectorGroup()->isVisible());
    EXPECT_EQ(view.centreGroup()->width(), 1320);

    state.setSidebarCollapsed(false);
    EXPECT_TRUE(view.sidebarGroup()->isVisible());
}

TEST_F(ContentViewTest, ClosingThePreviewClearsOnlyThePreviewItem)
{
    showAt(1320, 860);
    const FileItem a = file(QStringLiteral("/p/a.png"));
    const FileItem b = file(QStringLiteral("/p/b.png"));
    state.setSelectedFiles({a.path});
    state.setFocusedItem(a);
    state.preview(a, {a, b});
    ASSERT_TRUE(view.previewSheet()->isVisible());

    QTest::keyClick(view.previewSheet(), Qt::Key_Escape);

    EXPECT_FALSE(state.previewItem());
    EXPECT_FALSE(view.previewSheet()->isVisible());
    EXPECT_EQ(state.previewList(), (QList<FileItem>{a, b}));
    EXPECT_EQ(state.selectedFiles(), QSet<QString>{a.path});
    EXPECT_EQ(state.focusedItem(), a);
}
