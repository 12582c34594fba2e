#include "browser/FilterMenus.h"
#include "BrowserFixtures.h"
#include "browser/BrowserHeader.h"
#include "browser/FilterBar.h"
#include "browser/ViewModeToggle.h"
#include "ui/FilterPill.h"

#include <QAbstractButton>
#include <QMenu>
#include <QToolButton>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;

namespace {

QStringList texts(QMenu* menu)
{
    emit menu->aboutToShow();
    QStringList out;
    for (QAction* action : menu->actions())
        out << (action->isSeparator() ? QStringLiteral("—") : action->text());
    return out;
}

QAction* entry(QMenu* menu, const QString& text)
{
    emit menu->aboutToShow();
    for (QAction* action : menu->actions()) {
        if (action->text() == text) return action;
    }
    return nullptr;
}

} // namespace

// Menu entries

TEST(FilterMenus, TheFromMenuListsTheFirstThirtySourcesWithPlainCounts)
{
    QList<SourceCount> sources;
    for (int i = 0; i < 31; ++i)
        sources.push_back({QStringLiteral("site%1.example").arg(i), 2000 - i});
    const QList<FilterMenus::SourceEntry> entries = FilterMenus::fromEntries(sources);
    ASSERT_EQ(entries.size(), FilterMenus::kSourceLimit);
    EXPECT_EQ(entries.first().text, "site0.example  (2000)"); // no grouping in menu counts
    EXPECT_EQ(entries.first().symbol, "globe");               // not a known source
    EXPECT_EQ(entries.last().name, "site29.example");
}

TEST(FilterMenus, TheKindMenuListsOnlyKindsWithACountInTheirOrder)
{
    QMap<FileCategory, int> kinds{
        {FileCategory::other, 3}, {FileCategory::images, 1200}, {FileCategory::videos, 0}};
    const QList<FilterMenus::KindEntry> entries = FilterMenus::kindEntries(kinds);
    ASSERT_EQ(entries.size(), 2);
    EXPECT_EQ(entries[0].text, "Images  (1200)");
    EXPECT_EQ(entries[1].text, "Other  (3)");
    EXPECT_TRUE(FilterMenus::kindEntries({}).isEmpty());
    // A filter on a kind that is not listed still names it.
    EXPECT_EQ(FilterMenus::kindValue(FileCategory::music), "Music");
    EXPECT_EQ(FilterMenus::kindValue(std::nullopt), "All");
}

TEST(FilterMenus, TheCurrentSortKeyCarriesItsDirectionAndChoosingItAgainFlips)
{
    AppFixture app;
    const auto arrowOf = [&](SortKey key) {
        for (const auto& e : FilterMenus::sortEntries(app.state.sortKey(), app.state.ascending())) {
            if (e.key == key) return e.symbol;
        }
        return QString();
    };
    EXPECT_EQ(arrowOf(SortKey::date), "arrow.down"); // newest first at the start
    EXPECT_EQ(arrowOf(SortKey::name), "");

    app.state.setSort(SortKey::name);
    EXPECT_EQ(arrowOf(SortKey::name), "arrow.up");
    EXPECT_EQ(arrowOf(SortKey::date), "");
    app.state.setSort(SortKey::name);
    EXPECT_EQ(arrowOf(SortKey::name), "arrow.down");
    app.state.setSort(SortKey::name);
    EXPECT_EQ(arrowOf(SortKey::name), "arrow.up"); // twice is back where it was
    app.state.setSort(SortKey::date);
    EXPECT_EQ(arrowOf(SortKey::date), "arrow.down");
}

TEST(FilterMenus, CaseTexts)
{
    EXPECT_EQ(FilterMenus::text(DateFilter::week), "Past Week");
    EXPECT_EQ(FilterMenus::text(SizeFilter::gb1), "Over 1 GB");
    EXPECT_EQ(FilterMenus::text(SortKey::date), "Date Modified");
    EXPECT_EQ(FilterMenus::text(CardSize::medium), "Medium");
}

// The bar

TEST(FilterBarTest, ASetSourceFilterKeepsItsPillSoItCanBeCleared)
{
    AppFixture app;
    FilterBar bar(app.state);
    EXPECT_TRUE(bar.fromPill()->isHidden());

    app.state.setSourceFilter(QStringLiteral("Slack"));
    // No listed file has a source: without the pill the filter could not be cleared.
    bar.setSources({});
    EXPECT_FALSE(bar.fromPill()->isHidden());
    EXPECT_EQ(bar.fromPill()->value(), "Slack");
    EXPECT_TRUE(bar.fromPill()->isActive());
    EXPECT_EQ(texts(bar.fromPill()->menu()), (QStringList{"Anywhere", "—"}));
    entry(bar.fromPill()->menu(), QStringLiteral("Anywhere"))->trigger();
    EXPECT_EQ(app.state.sourceFilter(), std::nullopt);
    EXPECT_TRUE(bar.fromPill()->isHidden());
    EXPECT_EQ(bar.fromPill()->value(), "Anywhere");
}

TEST(FilterBarTest, PillsShowTheStateAndTheirMenusWriteIt)
{
    AppFixture app;
    FilterBar bar(app.state);
    EXPECT_TRUE(bar.kindPill()->isHidden());
    bar.setShowsKindFilter(true);
    bar.setKinds({{FileCategory::images, 2}});
    EXPECT_FALSE(bar.kindPill()->isHidden());
    EXPECT_EQ(texts(bar.kindPill()->menu()), (QStringList{"All", "—", "Images  (2)"}));
    entry(bar.kindPill()->menu(), QStringLiteral("Images  (2)"))->trigger();
    EXPECT_EQ(app.state.kindFilter(), FileCategory::images);
    EXPECT_TRUE(bar.kindPill()->isActive());

    entry(bar.datePill()->menu(), QStringLiteral("Past Month"))->trigger();
    EXPECT_EQ(app.state.dateFilter(), DateFilter::month);
    EXPECT_EQ(bar.datePill()->value(), "Past Month");
    EXPECT_TRUE(entry(bar.datePill()->menu(), QStringLiteral("Past Month"))->isChecked());

    entry(bar.sizePill()->menu(), QStringLiteral("Over 10 MB"))->trigger();
    EXPECT_EQ(app.state.sizeFilter(), SizeFilter::mb10);

    entry(bar.sortPill()->menu(), QStringLiteral("Size"))->trigger();
    EXPECT_EQ(app.state.sortKey(), SortKey::size);
    EXPECT_EQ(bar.sortPill()->value(), "Size");
    EXPECT_FALSE(bar.sortPill()->isActive()); // the sort is never shown as a filter

    bar.viewModeToggle()->button(ViewMode::list)->click();
    EXPECT_EQ(app.state.viewMode(), ViewMode::list);
    entry(bar.viewModeToggle()->cardSizeButton()->menu(), QStringLiteral("Large"))->trigger();
    EXPECT_EQ(app.state.cardSize(), CardSize::large);
}

TEST(BrowserHeaderTest, TheBackButtonAndSubtitleShowOnlyWhenGiven)
{
    AppFixture app;
    BrowserHeader header(app.state);
    header.setTitle(QStringLiteral("Recents"));
    EXPECT_TRUE(header.backButton()->isHidden());
    EXPECT_EQ(header.subtitle(), std::nullopt);
    header.setSubtitle(QStringLiteral("3 items"));
    EXPECT_EQ(header.subtitle(), "3 items");

    header.setBackVisible(true);
    int backs = 0;
    QObject::connect(&header, &BrowserHeader::backRequested, [&] { ++backs; });
    header.backButton()->click();
    EXPECT_EQ(backs, 1);
    // The shortcut is the menu commands': the header binds none.
    EXPECT_TRUE(header.backButton()->shortcut().isEmpty());
}
