#include "SearchView.h"

#include "FileBrowser.h"
#include "UnderstoodChips.h"
#include "library/AppState.h"
#include "library/LibraryStore.h"
#include "library/SearchText.h"
#include "services/TextIndex.h"
#include "ui/AppContext.h"

#include <QLocale>
#include <QPointer>
#include <QTimer>
#include <QVBoxLayout>

namespace ovra {

namespace {

// The search looks inside images through the text index: its hits, each with
// the modification time of the version whose text was read. Runs on the
// search's pool thread.
LibraryStore::TextSearch textSearch(const TextIndex* textIndex)
{
    if (!textIndex) return {};
    return [find = textIndex->finder()](const QStringList& terms) {
        QList<LibraryStore::TextHit> hits;
        for (const TextIndexSearch::Hit& hit : find(terms))
            hits.push_back({hit.path, hit.modified});
        return hits;
    };
}

} // namespace

QString searchSubtitle(qsizetype count, int textMatchCount)
{
    const QLocale locale;
    QString text = locale.toString(qint64(count)) +
                   (count == 1 ? QStringLiteral(" match") : QStringLiteral(" matches")) +
                   QStringLiteral(" in your home folders");
    if (textMatchCount > 0) {
        text += QStringLiteral(" · ") + locale.toString(textMatchCount) +
                QStringLiteral(" found by text inside images");
    }
    return text;
}

SearchView::SearchView(const AppContext& context, QWidget* parent)
    : SearchView(context, Delay(), parent)
{
}

SearchView::SearchView(const AppContext& context, Delay delay, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_delay(std::move(delay))
    , m_browser(new FileBrowser(context, this))
{
    if (!m_delay) {
        m_delay = [this](std::chrono::milliseconds wait, std::function<void()> task) {
            QTimer::singleShot(wait, this, std::move(task));
        };
    }
    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->addWidget(m_browser);

    connect(m_context.state, &AppState::searchTextChanged, this, &SearchView::textChanged);
    // One notice per answer: the store has set every field by then.
    if (LibraryStore* library = m_context.library)
        connect(library, &LibraryStore::searchChanged, this, &SearchView::showResult);
    textChanged();
}

QString SearchView::query() const
{
    return trimmedSearchText(m_context.state->searchText());
}

bool SearchView::isCurrent() const
{
    return m_context.library && m_context.library->searchedQuery() == query();
}

QStringList SearchView::chips() const
{
    if (!isCurrent()) return {};
    const std::optional<ParsedQuery>& parsed = m_context.library->parsedQuery();
    return parsed ? parsed->chips() : QStringList();
}

void SearchView::textChanged()
{
    showResult();
    const QString text = query();
    if (!m_waiting.moveTo(text)) return;
    // A blank text is no search: the screen goes away with it.
    if (text.isEmpty()) return;
    m_delay(kDebounce, [this, wanted = m_waiting.stillWanted(), text] {
        if (wanted()) startSearch(text);
    });
}

void SearchView::startSearch(const QString& text)
{
    if (LibraryStore* library = m_context.library)
        library->search(text, textSearch(m_context.textIndex));
}

void SearchView::showResult()
{
    const QString text = query();
    const bool current = isCurrent();
    const LibraryStore* library = m_context.library;

    m_browser->setTitle(QStringLiteral("Results for “") + text + QStringLiteral("”"));
    BrowserInput input;
    if (current && library->searchResult()) input.items = library->searchResult()->items;
    m_browser->setSubtitle(current ? searchSubtitle(input.items.size(), library->textMatchCount())
                                   : QStringLiteral("Searching…"));
    input.isLoading = !current || (library && library->isSearching());
    input.showsKindFilter = true;
    input.emptyTitle = QStringLiteral("No Results");
    input.emptySymbol = QStringLiteral("magnifyingglass");
    input.emptyMessage =
        QStringLiteral("Nothing in your home folders matches “") + text + QStringLiteral("”.");
    m_browser->setInput(std::move(input));

    const QStringList shownChips = chips();
    if (m_shownChips != shownChips) {
        m_shownChips = shownChips;
        m_browser->setAccessory(shownChips.isEmpty() ? nullptr : new UnderstoodChips(shownChips));
    }
}

} // namespace ovra
