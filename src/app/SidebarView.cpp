#include "SidebarView.h"

#include "SidebarRow.h"
#include "SymbolButton.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "ui/AppContext.h"
#include "ui/FileActions.h"
#include "ui/Hairline.h"
#include "ui/OvraLogo.h"
#include "ui/PathText.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"
#include "ui/WindowDragArea.h"

#include <QHBoxLayout>
#include <QLabel>
#include <QMenu>
#include <QPainter>
#include <QScrollArea>
#include <QVBoxLayout>

namespace ovra {

namespace {

constexpr int kHeaderPaddingX = 24;
// The header sits where a hidden title bar's window buttons would be.
constexpr int kHeaderPaddingTop = 46;
constexpr int kHeaderPaddingBottom = 22;
constexpr int kHeaderSpacing = 8;
constexpr int kLogoSize = 24;
constexpr int kAppNameFontSize = 19;
constexpr int kHideSymbolSize = 14;
constexpr QSize kHideFrame{20, 20};

constexpr int kListPaddingX = 14;
constexpr int kListPaddingBottom = 16;
constexpr int kListSpacing = 2;

// Room around the hairline between groups of rows.
constexpr QMargins kDividerInset(10, 12, 10, 12);
constexpr int kHeadingFontSize = 12;
constexpr int kHeadingPaddingLeading = 12;
constexpr int kHeadingPaddingBottom = 6;
constexpr int kFavouritesGap = 10;

constexpr int kFootPadding = 14;

const char kHeadingName[] = "sidebarHeading";

// The app's logo in the header; the one place that decides how it is drawn.
QWidget* makeLogo(QWidget* parent)
{
    auto* logo = new OvraLogo(kLogoSize, parent);
    followAppearance(logo, [logo] { logo->setPrimaryColor(Theme::primary()); });
    return logo;
}

QLabel* makeHeading(const QString& text, QWidget* parent)
{
    QLabel* heading = toneLabel(text, Theme::font(kHeadingFontSize), Tone::secondary, parent);
    heading->setObjectName(QLatin1String(kHeadingName));
    heading->setContentsMargins(kHeadingPaddingLeading, 0, 0, kHeadingPaddingBottom);
    return heading;
}

QVBoxLayout* listLayout(QWidget* owner)
{
    auto* layout = new QVBoxLayout(owner);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(kListSpacing);
    return layout;
}

} // namespace

SidebarView::SidebarView(AppContext& context, QWidget* parent)
    : QWidget(parent)
    , m_state(*context.state)
    , m_library(context.library)
    , m_cleanup(context.cleanup)
    , m_sources(context.sources)
    , m_duplicates(context.duplicates)
    , m_player(context.player)
{
    // The symbols' artwork is read off this thread; the first paint waits for it.
    Symbols::preload();
    setFixedWidth(kWidth);
    followAppearance(this, [this] { update(); });

    auto* layout = new QVBoxLayout(this);
    layout->setContentsMargins(0, 0, 0, 0);
    layout->setSpacing(0);
    layout->addWidget(makeHeader());
    layout->addWidget(makeList(), 1);

    m_foot = new QWidget(this);
    auto* foot = new QVBoxLayout(m_foot);
    foot->setContentsMargins(kFootPadding, kFootPadding, kFootPadding, kFootPadding);
    layout->addWidget(m_foot);

    connect(&m_state, &AppState::selectionChanged, this, &SidebarView::showSelection);
    connect(&m_state, &AppState::searchTextChanged, this, &SidebarView::showSelection);
    connect(&m_state, &AppState::pinnedChanged, this, &SidebarView::rebuildFolders);
    // The standard folders are read anew on every refresh, as they may have
    // come or gone since.
    connect(&m_state, &AppState::refreshTokenChanged, this, &SidebarView::readLocations);
    if (m_library) {
        connect(m_library, &LibraryStore::collectionsChanged, this, &SidebarView::showFigures);
        connect(m_library, &LibraryStore::loadingChanged, this, &SidebarView::showFigures);
    }
    if (m_cleanup) connect(m_cleanup, &CleanupSummary::changed, this, &SidebarView::showFigures);
    if (m_sources) connect(m_sources, &SourceSummary::changed, this, &SidebarView::showFigures);
    if (m_duplicates)
        connect(m_duplicates, &DuplicateSummary::changed, this, &SidebarView::showFigures);
    if (m_player) connect(m_player, &PlayerSummary::changed, this, &SidebarView::showFoot);

    rebuildFolders();
    readLocations();
    showFigures();
    showFoot();
}

QWidget* SidebarView::makeHeader()
{
    auto* header = new WindowDragArea(this);
    auto* layout = new QHBoxLayout(header);
    layout->setContentsMargins(kHeaderPaddingX, kHeaderPaddingTop, kHeaderPaddingX,
                               kHeaderPaddingBottom);
    layout->setSpacing(kHeaderSpacing);
    layout->addWidget(makeLogo(header));
    layout->addWidget(toneLabel(QStringLiteral("Ovra"),
                                Theme::font(kAppNameFontSize, QFont::Medium), Tone::primary,
                                header));
    layout->addStretch(1);
    m_hide = new SymbolButton(QStringLiteral("sidebar.left"), kHideSymbolSize, kHideFrame, header);
    m_hide->setHelp(tr("Hide Sidebar"));
    connect(m_hide, &SymbolButton::clicked, this, [this] { m_state.setSidebarCollapsed(true); });
    layout->addWidget(m_hide);
    return header;
}

QWidget* SidebarView::makeList()
{
    auto* list = new QWidget;
    m_listLayout = listLayout(list);
    m_listLayout->setContentsMargins(kListPaddingX, 0, kListPaddingX, kListPaddingBottom);

    addPlaceRow(m_listLayout, SidebarItem::home(), QStringLiteral("Home"), QStringLiteral("house"));
    addPlaceRow(m_listLayout, SidebarItem::smart(SmartCollection::recents),
                QStringLiteral("Recents"), QStringLiteral("clock"));
    const struct {
        FileCategory category;
        const char* title;
        const char* symbol;
    } categories[] = {
        {FileCategory::images, "Images", "photo"},
        {FileCategory::videos, "Videos", "play.rectangle"},
        {FileCategory::music, "Music", "music.note"},
        {FileCategory::documents, "Documents", "doc.text"},
        {FileCategory::archives, "Archives", "archivebox"},
        {FileCategory::apps, "Apps", "square.grid.2x2"},
    };
    for (const auto& c : categories)
        addPlaceRow(m_listLayout, SidebarItem::category(c.category), QLatin1String(c.title),
                    QLatin1String(c.symbol));
    m_listLayout->addWidget(new Hairline(Qt::Horizontal, list, kDividerInset));
    addPlaceRow(m_listLayout, SidebarItem::smart(SmartCollection::large),
                QStringLiteral("Large Files"), QStringLiteral("externaldrive"));
    addPlaceRow(m_listLayout, SidebarItem::smart(SmartCollection::screenshots),
                QStringLiteral("Screenshots"), QStringLiteral("camera.viewfinder"));
    addPlaceRow(m_listLayout, SidebarItem::duplicates(), QStringLiteral("Duplicates"),
                QStringLiteral("square.on.square"));
    addPlaceRow(m_listLayout, SidebarItem::cleanupHub(), QStringLiteral("Clean Up"),
                QStringLiteral("sparkles"));
    addPlaceRow(m_listLayout, SidebarItem::sources(), QStringLiteral("Downloaded From"),
                QStringLiteral("arrow.down.circle"));
    m_listLayout->addWidget(new Hairline(Qt::Horizontal, list, kDividerInset));
    // The folders go here (rebuildFolders), then room below them.
    m_listLayout->addStretch(1);

    m_scroll = new QScrollArea(this);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setWidgetResizable(true);
    m_scroll->setWidget(list);
    // The sidebar paints its own background behind the list.
    m_scroll->viewport()->setAutoFillBackground(false);
    list->setAutoFillBackground(false);
    return m_scroll;
}

void SidebarView::addPlaceRow(QVBoxLayout* layout, const SidebarItem& entry, const QString& title,
                              const QString& symbol)
{
    auto* row = new SidebarRow(entry, title, symbol, layout->parentWidget());
    connect(row, &SidebarRow::clicked, this, [this, entry] { choose(entry); });
    layout->addWidget(row);
    m_placeRows.append(row);
}

SidebarRow* SidebarView::addFolderRow(QVBoxLayout* layout, const Location& location, bool starred)
{
    SidebarRow* row = SidebarRow::folder(location, starred, layout->parentWidget());
    const SidebarItem entry = SidebarItem::location(location);
    connect(row, &SidebarRow::clicked, this, [this, entry] { choose(entry); });
    row->setContextMenuPolicy(Qt::CustomContextMenu);
    connect(row, &SidebarRow::customContextMenuRequested, this,
            [this, row, location](const QPoint& pos) {
                QMenu* menu = folderMenu(location, this);
                menu->setAttribute(Qt::WA_DeleteOnClose);
                menu->popup(row->mapToGlobal(pos));
            });
    layout->addWidget(row);
    return row;
}

// Which standard folders there are takes reading the user's folder names and
// looking for the optional ones on the disk: done on a pool thread, the list
// rebuilt when the answer comes.
void SidebarView::readLocations()
{
    background::cancel(m_locationsRead);
    m_locationsRead = m_tasks.run(background::Pool::files, [] { return Location::standard(); });
    background::then(m_locationsRead, this, [this](const QList<Location>& locations) {
        if (locations == m_locations) return;
        m_locations = locations;
        rebuildFolders();
    });
}

void SidebarView::rebuildFolders()
{
    // The old rows may be in the middle of handling their own event (a pin
    // toggled from a row's menu), so they go once control is back in the loop.
    if (m_folders) {
        m_listLayout->removeWidget(m_folders);
        m_folders->hide();
        m_folders->deleteLater();
    }
    auto* folders = new QWidget(m_listLayout->parentWidget());
    m_folders = folders;
    QVBoxLayout* layout = listLayout(folders);

    const QStringList pinned = m_state.pinned();
    if (!pinned.isEmpty()) {
        layout->addWidget(makeHeading(tr("Favourites"), folders));
        for (const QString& path : pinned)
            addFolderRow(layout, {path, displayName(path), QStringLiteral("folder")}, true);
        layout->addSpacing(kFavouritesGap);
    }
    layout->addWidget(makeHeading(tr("Locations"), folders));
    for (const Location& location : m_locations)
        addFolderRow(layout, location, false);

    // Before the closing stretch.
    m_listLayout->insertWidget(m_listLayout->count() - 1, folders);
    showSelection();
}

QMenu* SidebarView::folderMenu(const Location& location, QWidget* parent)
{
    auto* menu = new QMenu(parent);
    const QString path = location.path;
    const bool isPinned = m_state.pinned().contains(path);
    menu->addAction(isPinned ? tr("Remove from Favourites") : tr("Add to Favourites"), this,
                    [this, path] { m_state.togglePin(path); });
    menu->addAction(tr("Show in Folder"), this,
                    [this, path] { FileActions::revealPaths(m_state, {path}); });
    return menu;
}

void SidebarView::setMiniPlayer(QWidget* miniPlayer)
{
    if (m_miniPlayer) m_miniPlayer->deleteLater();
    m_miniPlayer = miniPlayer;
    if (miniPlayer) m_foot->layout()->addWidget(miniPlayer);
    showFoot();
}

QList<SidebarRow*> SidebarView::rows() const
{
    QList<SidebarRow*> rows = m_placeRows;
    if (m_folders)
        rows += m_folders->findChildren<SidebarRow*>(QString(), Qt::FindDirectChildrenOnly);
    return rows;
}

QStringList SidebarView::headings() const
{
    QStringList texts;
    if (!m_folders) return texts;
    for (const QLabel* label :
         m_folders->findChildren<QLabel*>(QLatin1String(kHeadingName), Qt::FindDirectChildrenOnly))
        texts.append(label->text());
    return texts;
}

void SidebarView::choose(const SidebarItem& entry)
{
    m_state.setSelection(entry);
    m_state.setSearchText(QString());
}

bool SidebarView::isSelected(const SidebarItem& entry) const
{
    if (m_state.isSearching()) return false;
    const std::optional<SidebarItem> selection = m_state.selection();
    if (!selection) return false;
    // A cleanup kind or a single source is shown under its tool's row.
    switch (selection->kind()) {
    case SidebarItem::Kind::cleanup: return entry == SidebarItem::cleanupHub();
    case SidebarItem::Kind::source: return entry == SidebarItem::sources();
    default: return *selection == entry;
    }
}

void SidebarView::showSelection()
{
    for (SidebarRow* row : rows())
        row->setSelected(isSelected(row->entry()));
}

void SidebarView::showFigures()
{
    auto count = [this](const SidebarItem& entry) -> std::optional<qint64> {
        if (!m_library) return std::nullopt;
        const auto found = m_library->collections().constFind(entry);
        if (found == m_library->collections().cend()) return std::nullopt;
        return found->totalCount;
    };
    auto bytes = [](qint64 size) { return size > 0 ? Fmt::bytes(size) : QString(); };

    for (SidebarRow* row : m_placeRows) {
        const SidebarItem& entry = row->entry();
        switch (entry.kind()) {
        case SidebarItem::Kind::category: row->setBadge(count(entry)); break;
        case SidebarItem::Kind::smart:
            if (*entry.as<SmartCollection>() == SmartCollection::large)
                row->setBadge(count(entry), true);
            else if (*entry.as<SmartCollection>() == SmartCollection::screenshots)
                row->setBadge(count(entry));
            break;
        case SidebarItem::Kind::duplicates:
            row->setDetail(m_duplicates ? bytes(m_duplicates->exactReclaimable()) : QString());
            break;
        case SidebarItem::Kind::cleanupHub:
            row->setDetail(m_cleanup ? bytes(m_cleanup->totalReclaimable()) : QString());
            break;
        case SidebarItem::Kind::sources:
            row->setBadge(m_sources ? std::optional<qint64>(m_sources->groupCount())
                                    : std::nullopt);
            break;
        default: break;
        }
    }
}

void SidebarView::showFoot()
{
    m_foot->setVisible(m_miniPlayer && m_player && m_player->hasCurrent());
}

void SidebarView::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.fillRect(rect(), Theme::bg());
}

} // namespace ovra
