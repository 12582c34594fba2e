#include "TopBar.h"

#include "SearchField.h"
#include "SymbolButton.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "services/TextIndex.h"
#include "ui/AppContext.h"
#include "ui/RingProgress.h"
#include "ui/Theme.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QLocale>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kBarSymbolSize = 14;
// The show-sidebar button stands clear of where the window's own controls
// would be when the sidebar is hidden.
constexpr int kShowSidebarLeading = 60;
constexpr QSize kShowSidebarFrame{20, 20};
constexpr QSize kInspectorFrame{34, 34};
constexpr int kGroupSpacing = 6;
constexpr int kIndexingFontSize = 11;
constexpr int kLibrarySizeFontSize = 12;

} // namespace

TopBar::TopBar(AppContext& context, QWidget* parent)
    : WindowDragArea(parent)
    , m_state(*context.state)
    , m_library(context.library)
    , m_textIndex(context.textIndex)
{
    setFixedHeight(kTopPadding + kHeight);

    auto* layout = new QHBoxLayout(this);
    layout->setContentsMargins(kSidePadding, kTopPadding, kSidePadding, 0);
    layout->setSpacing(kSpacing);

    layout->addWidget(makeShowSidebar());
    m_search = new SearchField(m_state, this);
    layout->addWidget(m_search);
    layout->addStretch(1);
    layout->addWidget(makeIndexing());
    layout->addWidget(makeLibrarySize());

    m_inspector =
        new SymbolButton(QStringLiteral("sidebar.right"), kBarSymbolSize, kInspectorFrame, this);
    m_inspector->setRound(true);
    m_inspector->setHelp(tr("Show Details (Ctrl+I)"));
    layout->addWidget(m_inspector);
    connect(m_inspector, &SymbolButton::clicked, this,
            [this] { m_state.setShowInspector(!m_state.showInspector()); });
    connect(&m_state, &AppState::showInspectorChanged, this, &TopBar::showInspectorState);
    showInspectorState();

    // Only a change of the token focuses the field, never the value it has
    // when the bar is made.
    connect(&m_state, &AppState::focusSearchTokenChanged, this, &TopBar::focusSearch);
}

QWidget* TopBar::makeShowSidebar()
{
    // The slot's leading room is part of the bar's background, so it drags the
    // window like any other empty part of the bar.
    m_showSidebarSlot = new QWidget(this);
    auto* layout = new QHBoxLayout(m_showSidebarSlot);
    layout->setContentsMargins(kShowSidebarLeading, 0, 0, 0);
    layout->setSpacing(0);
    m_showSidebar = new SymbolButton(QStringLiteral("sidebar.left"), kBarSymbolSize,
                                     kShowSidebarFrame, m_showSidebarSlot);
    m_showSidebar->setHelp(tr("Show Sidebar"));
    layout->addWidget(m_showSidebar);
    connect(m_showSidebar, &SymbolButton::clicked, this,
            [this] { m_state.setSidebarCollapsed(false); });
    connect(&m_state, &AppState::sidebarCollapsedChanged, this, &TopBar::showSidebarState);
    showSidebarState();
    return m_showSidebarSlot;
}

QWidget* TopBar::makeIndexing()
{
    m_indexing = new QWidget(this);
    auto* layout = new QHBoxLayout(m_indexing);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kGroupSpacing);
    m_indexingRing = new RingProgress(m_indexing);
    layout->addWidget(m_indexingRing);
    m_indexingLabel =
        toneLabel(QString(), Theme::font(kIndexingFontSize), Tone::secondary, m_indexing);
    layout->addWidget(m_indexingLabel);
    m_indexing->setToolTip(tr("Ovra reads the text in your screenshots and photos on this "
                              "computer so you can search for words inside them."));
    if (m_textIndex) {
        connect(m_textIndex, &TextIndex::isIndexingChanged, this, &TopBar::showIndexing);
        connect(m_textIndex, &TextIndex::doneChanged, this, &TopBar::showIndexing);
        connect(m_textIndex, &TextIndex::totalChanged, this, &TopBar::showIndexing);
    }
    showIndexing();
    return m_indexing;
}

QWidget* TopBar::makeLibrarySize()
{
    auto* group = new QWidget(this);
    m_librarySizeGroup = group;
    auto* layout = new QHBoxLayout(group);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kGroupSpacing);
    layout->addWidget(
        toneLabel(tr("Library size"), Theme::font(kLibrarySizeFontSize), Tone::secondary, group));
    m_librarySize = toneLabel(QString(), Theme::font(kLibrarySizeFontSize, QFont::Medium),
                              Tone::primary, group);
    layout->addWidget(m_librarySize);
    if (m_library)
        connect(m_library, &LibraryStore::collectionsChanged, this, &TopBar::showLibrarySize);
    showLibrarySize();
    return group;
}

QString TopBar::librarySizeText() const
{
    return m_librarySize->text();
}

QString TopBar::indexingText() const
{
    return m_indexing->isHidden() ? QString() : m_indexingLabel->text();
}

void TopBar::focusSearch()
{
    m_search->focusSearch();
}

void TopBar::showSidebarState()
{
    m_showSidebarSlot->setVisible(m_state.sidebarCollapsed());
    fitToWidth();
}

void TopBar::resizeEvent(QResizeEvent* event)
{
    WindowDragArea::resizeEvent(event);
    fitToWidth();
}

// A narrow window (its smallest size with the inspector open) leaves the bar
// less room than its parts ask for. Rather than let the layout squeeze them over
// each other, the parts give way in order: the recognition progress's words (its
// ring stays, with its tooltip), then the library size, and only then the
// search field, down to its narrowest.
void TopBar::fitToWidth()
{
    if (!m_librarySizeGroup) return;
    int room = width() - 2 * kSidePadding - kInspectorFrame.width() - kSpacing;
    if (m_state.sidebarCollapsed()) room -= m_showSidebarSlot->sizeHint().width() + kSpacing;
    const bool indexing = !m_indexing->isHidden();
    const int ringWidth = m_indexingRing->sizeHint().width() + kSpacing;
    const int wordsWidth = m_indexingLabel->sizeHint().width() + kGroupSpacing;
    const int sizeWidth = m_librarySizeGroup->sizeHint().width() + kSpacing;
    // The search field and the parts at the right stay a spacing apart.
    int left = room - SearchField::kWidth - kSpacing;

    const bool showsWords = indexing && left >= ringWidth + wordsWidth + sizeWidth;
    if (indexing) left -= ringWidth + (showsWords ? wordsWidth : 0);
    const bool showsSize = left >= sizeWidth;
    if (showsSize) left -= sizeWidth;
    m_indexingLabel->setVisible(showsWords);
    m_librarySizeGroup->setVisible(showsSize);
    m_search->setFixedWidth(std::clamp(SearchField::kWidth + std::min(left, 0),
                                       SearchField::kNarrowestWidth, SearchField::kWidth));
}

void TopBar::showIndexing()
{
    const bool indexing = m_textIndex && m_textIndex->isIndexing();
    m_indexing->setVisible(indexing);
    if (!indexing) {
        fitToWidth();
        return;
    }
    const int done = m_textIndex->done();
    const int total = m_textIndex->total();
    m_indexingRing->setProgress(done, total);
    const QLocale locale;
    m_indexingLabel->setText(
        tr("Reading text in images %1/%2").arg(locale.toString(done), locale.toString(total)));
    fitToWidth();
}

void TopBar::showLibrarySize()
{
    qint64 total = 0;
    if (m_library) {
        const auto& collections = m_library->collections();
        for (FileCategory category : kLibraryCategories) {
            const auto found = collections.constFind(SidebarItem::category(category));
            if (found != collections.cend()) total += found->totalSize;
        }
    }
    m_librarySize->setText(total > 0 ? Fmt::bytes(total) : QStringLiteral("\u2014"));
    fitToWidth();
}

void TopBar::showInspectorState()
{
    const bool shown = m_state.showInspector();
    m_inspector->setTone(shown ? Tone::primary : Tone::secondary);
    m_inspector->setPlate(shown);
}

} // namespace ovra
