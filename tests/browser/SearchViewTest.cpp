#include "browser/SearchView.h"
#include "BrowserFixtures.h"
#include "browser/BrowserHeader.h"
#include "browser/FileBrowser.h"
#include "browser/UnderstoodChips.h"
#include "library/SearchText.h"
#include "support/Wait.h"
#include "ui/SectionTitle.h"

#include <QLocale>
#include <QTest>

#include <gtest/gtest.h>

using namespace ovra;
using namespace ovra::test;
using namespace std::chrono_literals;

namespace {

class SearchViewTest : public ::testing::Test {
protected:
    void SetUp() override
    {
        app.home.writeFile("Documents/report.pdf", "%PDF-1.4\n");
        app.home.writeFile("Documents/repo-notes.txt", "x");
        app.home.writeFile("Pictures/invoice.png", "not really a png");
        app.makeLibrary();
        view = std::make_unique<SearchView>(app.context, delay.delay());
        QObject::connect(app.library.get(), &LibraryStore::searchChanged, view.get(), [this] {
            if (app.library->isSearching() && !searching) ++searches;
            searching = app.library->isSearching();
        });
    }

    // Searches started so far: each turns the store's searching flag on and,
    // once answered, off again.
    int started() const { return searches; }

    void type(const QString& text) { app.state.setSearchText(text); }

    bool finish()
    {
        return test::eventually([&] { return !app.library->isSearching(); });
    }

    QString subtitle() { return view->browser()->header()->subtitle().value_or(QString()); }

    AppFixture app;
    ManualDelay delay;
    std::unique_ptr<SearchView> view;
    int searches = 0;
    bool searching = false;
};

} // namespace

TEST_F(SearchViewTest, FourQuickKeystrokesStartOneSearchForTheWholeWord)
{
    for (const char* text : {"r", "re", "rep", "repo"}) {
        type(QString::fromLatin1(text));
        delay.advance(100ms);
    }
    EXPECT_EQ(started(), 0);
    EXPECT_EQ(subtitle(), "Searching…");
    EXPECT_TRUE(settledContent(*view->browser()).state == BrowserContent::State::loading);
    delay.advance(119ms);
    EXPECT_EQ(started(), 0);
    delay.advance(1ms); // 0.22 s after the last key
    EXPECT_EQ(started(), 1);
    ASSERT_TRUE(finish());
    EXPECT_EQ(started(), 1);
    EXPECT_EQ(app.library->searchedQuery(), "repo");
    EXPECT_TRUE(view->isCurrent());
    EXPECT_EQ(settledContent(*view->browser()).shown.size(), 2); // report.pdf, repo-notes.txt
    EXPECT_EQ(subtitle(), "2 matches in your home folders");
}

TEST_F(SearchViewTest, ATrailingBlankOrLineBreakKeepsTheResultsAndStartsNoSearch)
{
    type(QStringLiteral("report"));
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());
    ASSERT_EQ(settledContent(*view->browser()).shown.size(), 1);

    type(QStringLiteral("report "));
    type(QStringLiteral("report\n"));
    type(QStringLiteral("\u00A0report\t"));
    EXPECT_EQ(delay.pending(), 0u);
    delay.advance(1s);
    EXPECT_EQ(started(), 1);
    EXPECT_TRUE(view->isCurrent());
    EXPECT_EQ(settledContent(*view->browser()).shown.size(), 1);
}

TEST_F(SearchViewTest, APastedLineWithItsLineBreakEndsWithItsResultsNotSearchingForEver)
{
    // The view, the state and the store trim alike: the store's answer for
    // "invoice" is the view's answer for "invoice\r\n".
    type(QStringLiteral("invoice\r\n"));
    EXPECT_TRUE(app.state.isSearching());
    EXPECT_EQ(view->query(), trimmedSearchText(app.state.searchText()));
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());
    EXPECT_EQ(app.library->searchedQuery(), "invoice");
    EXPECT_TRUE(view->isCurrent());
    EXPECT_NE(subtitle(), "Searching…");
    EXPECT_EQ(settledContent(*view->browser()).shown.size(), 1);
    EXPECT_EQ(view->browser()->header()->title(), "Results for “invoice”");
}

TEST_F(SearchViewTest, AnOlderAnswerNeverShowsUnderANewerText)
{
    type(QStringLiteral("report"));
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());

    type(QStringLiteral("reporter"));
    EXPECT_FALSE(view->isCurrent());
    EXPECT_TRUE(settledContent(*view->browser()).shown.isEmpty());
    EXPECT_EQ(subtitle(), "Searching…");

    // Back to the last finished text within the wait: its results at once,
    // and after the wait the same search runs again while they stay.
    delay.advance(100ms);
    type(QStringLiteral("report"));
    EXPECT_TRUE(view->isCurrent());
    EXPECT_EQ(settledContent(*view->browser()).shown.size(), 1);
    delay.advance(SearchView::kDebounce);
    EXPECT_EQ(started(), 2);
    // While it runs (a quick one may be done already) the results stay, marked as loading.
    EXPECT_EQ(settledContent(*view->browser()).shown.size(), 1);
    if (app.library->isSearching()) {
        EXPECT_TRUE(view->browser()->filesTitle()->isLoading());
    }
    ASSERT_TRUE(finish());
}

TEST_F(SearchViewTest, ChipsShowOnlyForAStructuredQueryAndOnlyItsOwn)
{
    type(QStringLiteral("pdfs from last week"));
    EXPECT_TRUE(view->chips().isEmpty());
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());
    ASSERT_FALSE(view->chips().isEmpty());
    auto* chips = qobject_cast<UnderstoodChips*>(view->browser()->accessory());
    ASSERT_NE(chips, nullptr);
    EXPECT_EQ(chips->chips(), view->chips());

    type(QStringLiteral("repo"));
    EXPECT_TRUE(view->chips().isEmpty()); // never the chips of an earlier text
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());
    EXPECT_TRUE(view->chips().isEmpty());
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
    EXPECT_EQ(view->browser()->accessory(), nullptr);
}

TEST_F(SearchViewTest, NoMatchesShowTheEmptyStateNamingTheQuery)
{
    type(QStringLiteral("zzzqqq"));
    delay.advance(SearchView::kDebounce);
    ASSERT_TRUE(finish());
    const BrowserContent& content = settledContent(*view->browser());
    EXPECT_EQ(content.state, BrowserContent::State::empty);
    EXPECT_EQ(content.emptyTitle, "No Results");
    EXPECT_EQ(content.emptySymbol, "magnifyingglass");
    EXPECT_EQ(content.emptyMessage, "Nothing in your home folders matches “zzzqqq”.");
    EXPECT_EQ(subtitle(), "0 matches in your home folders");
    EXPECT_FALSE(content.capNote.has_value()); // no total is given for searches
}

TEST_F(SearchViewTest, AViewGoneBeforeItsWaitEndsStartsNothing)
{
    type(QStringLiteral("report"));
    view.reset();
    delay.advance(1s);
    EXPECT_EQ(started(), 0);
}

TEST(SearchSubtitle, MatchOrMatchesAndTheTextIndexNote)
{
    EXPECT_EQ(searchSubtitle(1, 0), "1 match in your home folders");
    EXPECT_EQ(searchSubtitle(2, 0), "2 matches in your home folders");
    EXPECT_EQ(searchSubtitle(0, 0), "0 matches in your home folders");
    EXPECT_EQ(searchSubtitle(2000, 3),
              QLocale().toString(2000) +
                  " matches in your home folders · 3 found by text inside images");
}
