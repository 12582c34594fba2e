#include "app/ViewStateResets.h"
#include "library/AppState.h"

#include "support/TestHome.h"

#include <QSignalSpy>

#include <gtest/gtest.h>

#include <functional>
#include <set>
#include <string>

using namespace ovra;

namespace {

FileItem file(const QString& path)
{
    FileItem item;
    item.path = path;
    item.name = path.section(u'/', -1);
    return item;
}

Location downloads()
{
    return {QStringLiteral("/home/u/Downloads"), QStringLiteral("Downloads"),
            QStringLiteral("arrow.down.circle")};
}

// A state in the middle of things: a folder opened inside Downloads, two files
// selected, one focused, every filter set and a search typed.
void populate(AppState& state)
{
    state.setSelection(SidebarItem::location(downloads()));
    state.setFolderPath({QStringLiteral("/home/u/Downloads/a")});
    state.setSearchText(QStringLiteral("pdf"));
    state.setSelectedFiles(
        {QStringLiteral("/home/u/Downloads/a/x"), QStringLiteral("/home/u/Downloads/a/y")});
    state.setFocusedItem(file(QStringLiteral("/home/u/Downloads/a/x")));
    state.setKindFilter(FileCategory::documents);
    state.setDateFilter(DateFilter::week);
    state.setSizeFilter(SizeFilter::mb10);
    state.setSourceFilter(QStringLiteral("Safari"));
}

// Which of the reset fields are back at their empty values.
std::set<std::string> clearedFields(const AppState& state)
{
    std::set<std::string> cleared;
    if (state.folderPath().isEmpty()) cleared.insert("folderPath");
    if (state.selectedFiles().isEmpty()) cleared.insert("selectedFiles");
    if (!state.focusedItem()) cleared.insert("focusedItem");
    if (!state.kindFilter()) cleared.insert("kindFilter");
    if (state.dateFilter() == DateFilter::any) cleared.insert("dateFilter");
    if (state.sizeFilter() == SizeFilter::any) cleared.insert("sizeFilter");
    if (!state.sourceFilter()) cleared.insert("sourceFilter");
    return cleared;
}

struct ResetCase {
    const char* name;
    std::function<void(AppState&)> change;
    std::set<std::string> cleared;
};

class ViewStateResetsTest : public ::testing::Test {
protected:
    test::TestHome home;
    AppState state;
    ViewStateResets resets{state};
};

} // namespace

TEST_F(ViewStateResetsTest, EachChangeClearsExactlyItsFields)
{
    const std::set<std::string> all{"folderPath", "selectedFiles", "focusedItem", "kindFilter",
                                    "dateFilter", "sizeFilter",    "sourceFilter"};
    const ResetCase cases[] = {
        {"another place",
         [](AppState& s) { s.setSelection(SidebarItem::category(FileCategory::images)); }, all},
        {"no place", [](AppState& s) { s.setSelection(std::nullopt); }, all},
        {"into a subfolder",
         [](AppState& s) {
             s.setFolderPath(
                 {QStringLiteral("/home/u/Downloads/a"), QStringLiteral("/home/u/Downloads/a/b")});
         },
         {"selectedFiles", "focusedItem"}},
        {"out to the location",
         [](AppState& s) { s.setFolderPath({}); },
         {"folderPath", "selectedFiles", "focusedItem"}},
        {"typing", [](AppState& s) { s.setSearchText(QStringLiteral("pdfs")); }, {"kindFilter"}},
        {"clearing the search", [](AppState& s) { s.setSearchText(QString()); }, {"kindFilter"}},
        {"the same place again",
         [](AppState& s) { s.setSelection(SidebarItem::location(downloads())); },
         {}},
        {"the same folder path again",
         [](AppState& s) { s.setFolderPath({QStringLiteral("/home/u/Downloads/a")}); },
         {}},
        {"the same search text again",
         [](AppState& s) { s.setSearchText(QStringLiteral("pdf")); },
         {}},
    };
    for (const ResetCase& c : cases) {
        SCOPED_TRACE(c.name);
        populate(state);
        ASSERT_TRUE(clearedFields(state).empty());
        c.change(state);
        EXPECT_EQ(clearedFields(state), c.cleared);
    }
}

TEST_F(ViewStateResetsTest, AnEqualAssignmentNotifiesNobody)
{
    populate(state);
    QSignalSpy selection(&state, &AppState::selectionChanged);
    QSignalSpy folder(&state, &AppState::folderPathChanged);
    QSignalSpy files(&state, &AppState::selectedFilesChanged);
    QSignalSpy kind(&state, &AppState::kindFilterChanged);
    QSignalSpy date(&state, &AppState::dateFilterChanged);

    state.setSelection(SidebarItem::location(downloads()));
    state.setFolderPath({QStringLiteral("/home/u/Downloads/a")});
    state.setSearchText(QStringLiteral("pdf"));

    EXPECT_EQ(selection.count() + folder.count() + files.count() + kind.count() + date.count(), 0);
}
