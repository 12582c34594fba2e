#include "browser/BrowserModel.h"
#include "BrowserFixtures.h"

#include <QLocale>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

class BrowserModelTest : public ::testing::Test {
protected:
    BrowserContent contentOf(const BrowserInput& input, const SourceLookup& lookup = {})
    {
        return browserContent(input, app.state.listOptions(), lookup);
    }

    static BrowserInput input(QList<FileItem> items, bool loading = false,
                              std::optional<qint64> total = std::nullopt)
    {
        BrowserInput in;
        in.items = std::move(items);
        in.isLoading = loading;
        in.totalCount = total;
        in.emptyTitle = QStringLiteral("Nothing Here");
        in.emptySymbol = QStringLiteral("clock");
        in.emptyMessage = QStringLiteral("Ovra couldn't find any recents in your home folders.");
        return in;
    }

    static QStringList names(const QList<FileItem>& items)
    {
        QStringList out;
        for (const FileItem& item : items)
            out << item.name;
        return out;
    }

    AppFixture app;
};

SourceLookup sourcesByName(std::map<QString, QString> table)
{
    return [table](const FileItem& item) -> std::optional<QString> {
        const auto it = table.find(item.name);
        if (it == table.end()) return std::nullopt;
        return it->second;
    };
}

} // namespace

// States and sections

TEST_F(BrowserModelTest, LoadingShowsOnlyWhileNothingHasArrived)
{
    EXPECT_EQ(contentOf(input({}, true)).state, BrowserContent::State::loading);
    // Items that arrive while the load still runs show at once.
    EXPECT_EQ(contentOf(input({file("a")}, true)).state, BrowserContent::State::sections);

    const BrowserContent done = contentOf(input({}, false));
    EXPECT_EQ(done.state, BrowserContent::State::empty);
    EXPECT_EQ(done.emptyTitle, "Nothing Here");
    EXPECT_EQ(done.emptySymbol, "clock");
}

TEST_F(BrowserModelTest, FiltersThatHideEverythingSayNoMatchesButAnEmptyScreenKeepsItsOwnTexts)
{
    app.state.setKindFilter(FileCategory::images);
    const BrowserContent hidden = contentOf(input({file("a.pdf")}));
    EXPECT_EQ(hidden.state, BrowserContent::State::empty);
    EXPECT_EQ(hidden.emptyTitle, "No Matches");
    EXPECT_EQ(hidden.emptySymbol, "line.3.horizontal.decrease.circle");
    EXPECT_EQ(hidden.emptyMessage, "Try loosening the filters.");

    const BrowserContent nothing = contentOf(input({}));
    EXPECT_EQ(nothing.emptyTitle, "Nothing Here");
}

TEST_F(BrowserModelTest, FoldersComeFirstInTheirOwnSectionEachInSortOrder)
{
    app.state.setSort(SortKey::name);
    const BrowserContent content = contentOf(
        input({file("c.txt"), folder("Zeta"), file("a.txt"), folder("Alpha"), file("b.txt")}));
    EXPECT_EQ(names(content.shown), (QStringList{"a.txt", "Alpha", "b.txt", "c.txt", "Zeta"}));
    EXPECT_EQ(names(content.folders), (QStringList{"Alpha", "Zeta"}));
    EXPECT_EQ(names(content.files), (QStringList{"a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(names(content.navigation), (QStringList{"Alpha", "Zeta", "a.txt", "b.txt", "c.txt"}));
    EXPECT_EQ(content.navigationIndex(QStringLiteral("/t/a.txt")), 2);
    EXPECT_EQ(content.navigationIndex(QStringLiteral("/t/gone")), std::nullopt);

    const BrowserContent onlyFolders = contentOf(input({folder("A"), folder("B")}));
    const BrowserLayout layout(onlyFolders, ViewMode::grid, CardSize::medium, 1000, 800, {});
    EXPECT_TRUE(layout.folderTitleRect().has_value());
    EXPECT_FALSE(layout.fileTitleRect().has_value());

    const BrowserLayout noFolders(contentOf(input({file("a")})), ViewMode::grid, CardSize::medium,
                                  1000, 800, {});
    EXPECT_FALSE(noFolders.folderTitleRect().has_value());
    EXPECT_TRUE(noFolders.fileTitleRect().has_value());
}

TEST_F(BrowserModelTest, KindCountsCoverEveryItemOnlyWhenTheKindFilterIsOffered)
{
    BrowserInput in = input({file("a.png", FileCategory::images),
                             file("b.png", FileCategory::images), folder("F"), file("c.pdf")});
    app.state.setKindFilter(FileCategory::images); // counts are taken before filtering
    EXPECT_TRUE(contentOf(in).kindCounts.isEmpty());
    in.showsKindFilter = true;
    const QMap<FileCategory, int> kinds = contentOf(in).kindCounts;
    EXPECT_EQ(kinds.value(FileCategory::images), 2);
    EXPECT_EQ(kinds.value(FileCategory::folders), 1);
    EXPECT_EQ(kinds.value(FileCategory::documents), 1);
}

// The Files count and the cap note

TEST_F(BrowserModelTest, AnUnfilteredCappedListAnnouncesItsMatchesAndSaysItWasCapped)
{
    QList<FileItem> items = files(2998);
    items << folder("A") << folder("B");
    const BrowserContent content = contentOf(input(items, false, 12000));
    EXPECT_EQ(content.filesCount, 12000 - 2);
    const QLocale locale;
    ASSERT_TRUE(content.capNote.has_value());
    EXPECT_EQ(*content.capNote, QStringLiteral("Showing the ") + locale.toString(3000) +
                                    QStringLiteral(" most recent of ") + locale.toString(12000) +
                                    QStringLiteral(". Use search to find older files."));

    // Any filter: the count is what shows, and the note goes.
    app.state.setSizeFilter(SizeFilter::mb1);
    QList<FileItem> sized = files(3000);
    for (int i = 0; i < 10; ++i)
        sized[i].size = 5'000'000;
    const BrowserContent filtered = contentOf(input(sized, false, 12000));
    EXPECT_EQ(filtered.filesCount, 10);
    EXPECT_FALSE(filtered.capNote.has_value());
}

TEST_F(BrowserModelTest, WithoutATotalOrUnderItTheCountIsTheFilesAndThereIsNoNote)
{
    const BrowserContent noTotal = contentOf(input(files(5)));
    EXPECT_EQ(noTotal.filesCount, 5);
    EXPECT_FALSE(noTotal.capNote.has_value());

    const BrowserContent complete = contentOf(input(files(5), false, 5));
    EXPECT_FALSE(complete.capNote.has_value());
    // A total below what was listed never lowers the count.
    EXPECT_EQ(contentOf(input(files(5), false, 2)).filesCount, 5);
}

// Columns

TEST(BrowserColumns, FollowTheCardWidthBetweenTheInsets)
{
    EXPECT_EQ(columnCount(1000, 36, 22, CardSize::small), 4);
    EXPECT_EQ(columnCount(1000, 36, 22, CardSize::medium), 3);
    EXPECT_EQ(columnCount(1000, 36, 22, CardSize::large), 2);
    // (950 + 22) / 272 is exactly 3.57; 1038 - 72 + 22 = 988 = 3.63 × 272.
    EXPECT_EQ(columnCount(72 + 4 * 250 + 3 * 22, 36, 22, CardSize::medium), 4);
    EXPECT_EQ(columnCount(72 + 4 * 250 + 3 * 22 - 1, 36, 22, CardSize::medium), 3);
    // Too narrow for one card, or no width at all: still one column.
    EXPECT_EQ(columnCount(150, 36, 22, CardSize::large), 1);
    EXPECT_EQ(columnCount(0, 36, 22, CardSize::small), 1);
}

TEST_F(BrowserModelTest, CardsShareTheWidthAndRowsSpanIt)
{
    const BrowserContent content = contentOf(input(files(7)));
    BrowserMetrics metrics;
    metrics.cardHeight = 300;
    const BrowserLayout grid(content, ViewMode::grid, CardSize::medium, 1000, 800, metrics);
    ASSERT_EQ(grid.columns(), 3);
    const QRectF first = grid.itemRect(0), second = grid.itemRect(1), fourth = grid.itemRect(3);
    EXPECT_DOUBLE_EQ(first.left(), 36);
    EXPECT_DOUBLE_EQ(first.width(), (1000 - 72 - 2 * 22) / 3.0);
    EXPECT_DOUBLE_EQ(second.left() - first.right(), 22);
    EXPECT_DOUBLE_EQ(grid.itemRect(2).right(), 1000 - 36);
    EXPECT_DOUBLE_EQ(fourth.top() - first.bottom(),
                     22 + 4); // card rows stand 4 points further apart

    const BrowserLayout list(content, ViewMode::list, CardSize::medium, 1000, 800, metrics);
    EXPECT_EQ(list.verticalStep(), 1);
    EXPECT_DOUBLE_EQ(list.itemRect(1).left(), 36);
    EXPECT_DOUBLE_EQ(list.itemRect(1).width(), 1000 - 72);
    EXPECT_DOUBLE_EQ(list.itemRect(1).top() - list.itemRect(0).bottom(), 2);
}

TEST_F(BrowserModelTest, OnlyTheItemsInTheBandAreVisibleHoweverLongTheList)
{
    const BrowserContent content = contentOf(input(files(50000)));
    BrowserMetrics metrics;
    metrics.cardHeight = 288;
    const BrowserLayout layout(content, ViewMode::grid, CardSize::medium, 1000, 800, metrics);
    const auto [first, end] = layout.visibleRange(0, 800);
    EXPECT_EQ(first, 0);
    EXPECT_LE(end, 12);
    // Far down, the band holds whole rows of the middle of the list.
    const double y = layout.itemRect(30000).top();
    const auto [midFirst, midEnd] = layout.visibleRange(y, y + 800);
    EXPECT_EQ(midFirst, 30000);
    EXPECT_LE(midEnd - midFirst, 12);
    EXPECT_GT(layout.contentHeight(), 50000 / 3 * 288.0);
    // Bands between items or below the list hold none.
    EXPECT_EQ(layout.visibleRange(0, 10).second - layout.visibleRange(0, 10).first, 0);
    const auto [afterFirst, afterEnd] =
        layout.visibleRange(layout.contentHeight(), layout.contentHeight() + 500);
    EXPECT_EQ(afterFirst, afterEnd);
}

TEST_F(BrowserModelTest, TheVisibleRunCrossesFromFoldersIntoFiles)
{
    QList<FileItem> items = files(6);
    items << folder("A") << folder("B");
    const BrowserContent content = contentOf(input(items));
    const BrowserLayout layout(content, ViewMode::list, CardSize::medium, 1000, 800, {});
    const double top = layout.itemRect(1).top();
    const double bottom = layout.itemRect(3).bottom();
    EXPECT_EQ(layout.visibleRange(top, bottom),
              std::make_pair(0, 4)); // the folder row holds both folders
    EXPECT_TRUE(layout.isFolder(1));
    EXPECT_FALSE(layout.isFolder(2));
}

// Download sources

TEST(BrowserSourceCounts, LargestFirstThenByPlainTextAndOnlyWithAChoice)
{
    QList<FileItem> items;
    std::map<QString, QString> table;
    const auto add = [&](const QString& name, const QString& source) {
        items << file(name);
        table[name] = source;
    };
    add("1", "Slack");
    add("2", "Slack");
    add("3", "github.com");
    add("4", "GitHub");
    add("5", "GitHub");
    items << file("no-source");
    FileItem downloadedFolder = folder("dir");
    items << downloadedFolder;
    table["dir"] = "Slack"; // folders never count

    const QList<SourceCount> counts = sourceCounts(items, false, sourcesByName(table));
    // Equal counts: "GitHub" before "Slack" by plain comparison (capitals first).
    EXPECT_EQ(counts, (QList<SourceCount>{{"GitHub", 2}, {"Slack", 2}, {"github.com", 1}}));

    // One source alone is nothing to choose from, unless a source filter is set.
    const QList<FileItem> one{file("1"), file("2")};
    EXPECT_TRUE(sourceCounts(one, false, sourcesByName(table)).isEmpty());
    EXPECT_EQ(sourceCounts(one, true, sourcesByName(table)), (QList<SourceCount>{{"Slack", 2}}));
    EXPECT_TRUE(sourceCounts({file("no-source")}, true, sourcesByName(table)).isEmpty());
}

// Arrow keys

TEST(BrowserArrows, WithoutAFocusAnyArrowLandsOnTheFirstItem)
{
    for (ArrowKey key : {ArrowKey::left, ArrowKey::right, ArrowKey::up, ArrowKey::down}) {
        EXPECT_EQ(arrowTarget(key, 10, std::nullopt, 3), 0);
        // A focused item that is no longer shown counts as none.
        EXPECT_EQ(arrowTarget(key, 10, 42, 3), 0);
        EXPECT_EQ(arrowTarget(key, 0, std::nullopt, 3), std::nullopt);
        EXPECT_EQ(arrowTarget(key, 0, 0, 3), std::nullopt);
    }
}

TEST(BrowserArrows, StepAndStopAtTheEnds)
{
    EXPECT_EQ(arrowTarget(ArrowKey::right, 10, 4, 3), 5);
    EXPECT_EQ(arrowTarget(ArrowKey::left, 10, 4, 3), 3);
    EXPECT_EQ(arrowTarget(ArrowKey::down, 10, 4, 3), 7);
    EXPECT_EQ(arrowTarget(ArrowKey::up, 10, 4, 3), 1);
    // Ends: Right on the last stays, Up from the first row goes to the first,
    // Down from the last row to the last, Left on the first stays.
    EXPECT_EQ(arrowTarget(ArrowKey::right, 10, 9, 3), 9);
    EXPECT_EQ(arrowTarget(ArrowKey::up, 10, 2, 3), 0);
    EXPECT_EQ(arrowTarget(ArrowKey::down, 10, 8, 3), 9);
    EXPECT_EQ(arrowTarget(ArrowKey::left, 10, 0, 3), 0);
    // A list steps by one row up and down.
    EXPECT_EQ(arrowTarget(ArrowKey::down, 10, 4, 1), 5);
    EXPECT_EQ(arrowTarget(ArrowKey::up, 10, 4, 1), 3);
}

TEST_F(BrowserModelTest, DownFromAFolderFollowsTheNavigationOrderNotTheScreen)
{
    QList<FileItem> items = files(5);
    items << folder("A") << folder("B");
    const BrowserContent content = contentOf(input(items));
    const BrowserLayout layout(content, ViewMode::grid, CardSize::medium, 1000, 800, {});
    ASSERT_EQ(layout.columns(), 3);
    // Down from the second folder moves three places: to the third file.
    const std::optional<int> target =
        arrowTarget(ArrowKey::down, int(content.navigation.size()), 1, layout.verticalStep());
    ASSERT_EQ(target, 4);
    EXPECT_EQ(content.navigation[*target].name, "f2");
}
