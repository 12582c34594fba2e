#include "FileBrowser.h"

#include "BrowserHeader.h"
#include "CardThumbnail.h"
#include "FileInteractions.h"
#include "OffThreadRelease.h"
#include "library/AppState.h"
#include "platform/Background.h"
#include "ui/AppContext.h"
#include "ui/EmptyStateView.h"
#include "ui/ScrollBarStyle.h"
#include "ui/SectionTitle.h"
#include "ui/Spinner.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QApplication>
#include <QEasingCurve>
#include <QGuiApplication>
#include <QHBoxLayout>
#include <QKeyEvent>
#include <QLabel>
#include <QMouseEvent>
#include <QPainter>
#include <QPixmapCache>
#include <QScrollBar>
#include <QSet>
#include <QVariantAnimation>

#include <cmath>

namespace ovra {

namespace {

constexpr int kLoadingSpacing = 10;
constexpr int kCapNoteSize = 11;
constexpr int kLoadingTextSize = 13;
constexpr int kScrollStep = 40;
constexpr int kScrollAnimationMs = 150;
// Tiles are placed a little beyond the visible band, so a slow scroll does not
// re-point a tile on every step.
constexpr double kOverscan = 120;
constexpr int kPixmapCacheKb = 96 * 1024;

QWidget* makeLoadingState(QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* row = new QHBoxLayout(box);
    row->setContentsMargins(0, 0, 0, 0);
    row->setSpacing(kLoadingSpacing);
    row->addStretch(1);
    row->addWidget(new Spinner(box), 0, Qt::AlignVCenter);
    auto* text = new QLabel(QStringLiteral("Looking through your computer…"), box);
    text->setTextFormat(Qt::PlainText);
    text->setFont(Theme::font(kLoadingTextSize));
    Theme::setTextTone(text, &Theme::secondary);
    row->addWidget(text, 0, Qt::AlignVCenter);
    row->addStretch(1);
    return box;
}

bool previews(FileCategory category)
{
    switch (category) {
    case FileCategory::images:
    case FileCategory::videos:
    case FileCategory::documents:
    case FileCategory::code: return true;
    default: return false;
    }
}

std::optional<ArrowKey> arrowKey(int key)
{
    switch (key) {
    case Qt::Key_Left: return ArrowKey::left;
    case Qt::Key_Right: return ArrowKey::right;
    case Qt::Key_Up: return ArrowKey::up;
    case Qt::Key_Down: return ArrowKey::down;
    default: return std::nullopt;
    }
}

} // namespace

struct FileBrowser::Computed {
    BrowserContent content;
    std::shared_ptr<const SourceTable> sources;
    quint64 inputSerial = 0; // the input it was computed from
};

FileBrowser::FileBrowser(const AppContext& context, QWidget* parent)
    : QAbstractScrollArea(parent)
    , m_context(context)
    , m_state(*context.state)
    , m_interactions(context.interactions)
    , m_sourceLookup(downloadSourceLookup())
    , m_header(new BrowserHeader(m_state, viewport()))
    , m_loading(makeLoadingState(viewport()))
    , m_empty(new EmptyStateView(QString(), QString(), QString(), viewport()))
    , m_foldersTitle(new SectionTitle(QStringLiteral("Folders"), std::nullopt, false, viewport()))
    , m_filesTitle(new SectionTitle(QStringLiteral("Files"), std::nullopt, false, viewport()))
    , m_capNote(new QLabel(viewport()))
    , m_scrollAnimation(new QVariantAnimation(this))
{
    // The symbols' artwork is read off this thread; the first paint waits for it.
    Symbols::preload();
    // Cards keep their drawings in Qt's shared pixmap cache. Its usual room
    // holds a dozen of them, so every new screen would push out the frames
    // every card shares and draw them again.
    QPixmapCache::setCacheLimit(std::max(QPixmapCache::cacheLimit(), kPixmapCacheKb));
    setFrameShape(QFrame::NoFrame);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    setVerticalScrollBarPolicy(Qt::ScrollBarAsNeeded);
    ScrollBarStyle::apply(this);
    verticalScrollBar()->setSingleStep(kScrollStep);
    // A click on a card, a row or the background gives the browser the keys;
    // nothing focuses it when it first shows.
    setFocusPolicy(Qt::ClickFocus);
    viewport()->setAutoFillBackground(false);

    m_capNote->setTextFormat(Qt::PlainText);
    m_capNote->setFont(Theme::font(kCapNoteSize));
    m_capNote->setAlignment(Qt::AlignCenter);
    for (QWidget* fixed :
         {m_loading, static_cast<QWidget*>(m_empty), static_cast<QWidget*>(m_foldersTitle),
          static_cast<QWidget*>(m_filesTitle), static_cast<QWidget*>(m_capNote)}) {
        fixed->hide();
    }

    m_refreshTimer.setSingleShot(true);
    m_refreshTimer.setInterval(0);
    connect(&m_refreshTimer, &QTimer::timeout, this, &FileBrowser::refreshNow);
    // An answer is taken in on a turn of the event loop of its own, apart from
    // the paint that follows it: either alone fits in a frame, both together
    // would not.
    m_arrivalTimer.setSingleShot(true);
    m_arrivalTimer.setInterval(0);
    connect(&m_arrivalTimer, &QTimer::timeout, this, &FileBrowser::takeArrived);
    // And painted on a later turn again: Qt paints on the turn after a change,
    // straight after the change itself.
    m_revealTimer.setSingleShot(true);
    m_revealTimer.setInterval(1);
    connect(&m_revealTimer, &QTimer::timeout, this,
            [this] { viewport()->setUpdatesEnabled(true); });

    m_scrollAnimation->setDuration(kScrollAnimationMs);
    m_scrollAnimation->setEasingCurve(QEasingCurve::OutCubic);
    connect(m_scrollAnimation, &QVariantAnimation::valueChanged, this,
            [this](const QVariant& value) { verticalScrollBar()->setValue(value.toInt()); });

    connect(m_header, &BrowserHeader::backRequested, this, &FileBrowser::goBack);

    for (auto signal :
         {&AppState::kindFilterChanged, &AppState::dateFilterChanged, &AppState::sizeFilterChanged,
          &AppState::sourceFilterChanged, &AppState::sortKeyChanged, &AppState::ascendingChanged}) {
        connect(&m_state, signal, this, &FileBrowser::markContentDirty);
    }
    connect(&m_state, &AppState::viewModeChanged, this, &FileBrowser::markLayoutDirty);
    connect(&m_state, &AppState::cardSizeChanged, this, &FileBrowser::markLayoutDirty);
    connect(&m_state, &AppState::selectedFilesChanged, this, &FileBrowser::refreshTileStates);
    connect(&m_state, &AppState::focusedItemChanged, this, &FileBrowser::refreshTileStates);
    if (m_context.player)
        connect(m_context.player, &PlayerSummary::changed, this, &FileBrowser::refreshTileStates);
    if (ThemeNotifier* notifier = Theme::notifier()) {
        connect(notifier, &ThemeNotifier::appearanceChanged, this, [this] {
            QPalette palette = m_capNote->palette();
            palette.setColor(QPalette::WindowText, Theme::tertiary());
            m_capNote->setPalette(palette);
            viewport()->update();
        });
    }
    QPalette palette = m_capNote->palette();
    palette.setColor(QPalette::WindowText, Theme::tertiary());
    m_capNote->setPalette(palette);
    markContentDirty();
}

FileBrowser::~FileBrowser()
{
    // The tiles are the viewport's children; they go before it deletes them.
    m_placed.clear();
    for (auto& spares : m_spares)
        spares.clear();
    releaseOffThread(std::move(m_content));
    releaseOffThread(std::move(m_input));
    releaseOffThread(std::move(m_sources));
    dropArrived();
}

void FileBrowser::setTitle(const QString& title)
{
    changeHeader([&] { m_header->setTitle(title); });
}

void FileBrowser::setSubtitle(const std::optional<QString>& subtitle)
{
    changeHeader([&] { m_header->setSubtitle(subtitle); });
}

// The title and the subtitle wrap, so a new text may take another line.
void FileBrowser::changeHeader(const std::function<void()>& change)
{
    const int width = headerWidth();
    const int before = m_header->arrangeForWidth(width);
    change();
    if (m_header->arrangeForWidth(width) != before) markLayoutDirty();
}

void FileBrowser::setInput(BrowserInput input)
{
    releaseOffThread(std::exchange(m_input, std::move(input)));
    ++m_inputSerial;
    if (m_sources) releaseOffThread(std::exchange(m_sources, nullptr));
    m_header->setShowsKindFilter(m_input.showsKindFilter);
    markContentDirty();
}

void FileBrowser::setOnBack(std::function<void()> onBack)
{
    m_onBack = std::move(onBack);
    m_header->setBackVisible(static_cast<bool>(m_onBack));
}

void FileBrowser::setAccessory(QWidget* accessory)
{
    if (m_accessory == accessory) return;
    if (m_accessory) m_accessory->deleteLater();
    m_accessory = accessory;
    if (accessory) {
        accessory->setParent(viewport());
        accessory->show();
    }
    markLayoutDirty();
}

void FileBrowser::setInsets(double pad, double spacing)
{
    m_pad = pad;
    m_spacing = spacing;
    markLayoutDirty();
}

void FileBrowser::setInteractions(FileInteractions* interactions)
{
    m_interactions = interactions;
}

void FileBrowser::setSourceLookup(SourceLookup lookup)
{
    m_sourceLookup = std::move(lookup);
    ++m_inputSerial;
    if (m_sources) releaseOffThread(std::exchange(m_sources, nullptr));
    markContentDirty();
}

void FileBrowser::goBack()
{
    if (m_onBack) m_onBack();
}

const BrowserLayout& FileBrowser::layout()
{
    if (m_contentDirty || m_layoutDirty) refreshNow();
    return m_layout;
}

QWidget* FileBrowser::tileWidget(const QString& path) const
{
    const auto it = m_placed.find(path);
    return it == m_placed.end() ? nullptr : it->second.tile->widget();
}

void FileBrowser::markContentDirty()
{
    m_contentDirty = true;
    m_refreshTimer.start();
}

void FileBrowser::markLayoutDirty()
{
    m_layoutDirty = true;
    m_refreshTimer.start();
}

void FileBrowser::refreshNow()
{
    m_refreshTimer.stop();
    if (m_contentDirty) startComputing();
    recomputeLayout();
    placeWidgets();
    placeTiles();
}

void FileBrowser::startComputing()
{
    m_contentDirty = false;
    m_computing = true;
    // Everything the computation needs travels by value: it holds nothing of
    // the browser, which may be gone before it ends.
    const quint64 inputSerial = m_inputSerial;
    const bool gather = !m_sources;
    SourceLookup lookup = gather ? m_sourceLookup : tableLookup(m_sources);
    auto start = [input = m_input, options = m_state.listOptions(), lookup = std::move(lookup),
                  gather] {
        return background::run(
            background::Pool::files,
            [input, options, lookup, gather](QPromise<std::shared_ptr<Computed>>& promise) {
                // A newer computation cancels this one: it stops at the next step.
                if (promise.isCanceled()) return;
                // Handed over in a shared box the receiver empties: the future
                // keeps its result, and the last copy of a large model must
                // not be freed on the GUI thread when the future goes.
                auto computed = std::make_shared<Computed>();
                SourceLookup sources = lookup;
                if (gather) {
                    computed->sources = gatherSources(input.items, lookup);
                    sources = tableLookup(computed->sources);
                }
                if (promise.isCanceled()) return;
                computed->content = browserContent(input, options, sources);
                promise.addResult(std::move(computed));
            });
    };
    dropArrived();
    m_computation.run(++m_computeSerial, std::move(start),
                      [this, inputSerial](std::shared_ptr<Computed> computed) {
                          dropArrived();
                          computed->inputSerial = inputSerial;
                          m_arrived = std::move(computed);
                          m_arrivalTimer.start();
                      });
}

void FileBrowser::takeArrived()
{
    std::shared_ptr<Computed> computed = std::exchange(m_arrived, nullptr);
    if (!computed) return;
    m_computing = false;
    std::shared_ptr<const SourceTable> sources = std::move(computed->sources);
    if (sources && computed->inputSerial == m_inputSerial && !m_sources)
        m_sources = std::move(sources);
    else if (sources)
        releaseOffThread(std::move(sources));
    viewport()->setUpdatesEnabled(false);
    showContent(std::move(computed->content));
    m_revealTimer.start();
}

void FileBrowser::dropArrived()
{
    m_arrivalTimer.stop();
    if (m_arrived) releaseOffThread(std::exchange(m_arrived, nullptr));
}

void FileBrowser::showContent(BrowserContent content)
{
    // Let go of the old model only once the tiles have let go of its lists,
    // so its last copy is not dropped on this thread.
    BrowserContent old = std::exchange(m_content, std::move(content));
    m_hasContent = true;
    m_layoutDirty = true;

    m_header->setKinds(m_content.kindCounts);
    m_header->setSources(m_content.sourceCounts);
    m_foldersTitle->setCount(m_content.folders.size());
    m_filesTitle->setCount(m_content.filesCount);
    m_filesTitle->setLoading(m_content.isLoading);
    m_empty->setTitle(m_content.emptyTitle);
    m_empty->setSymbol(m_content.emptySymbol);
    m_empty->setMessage(m_content.emptyMessage);
    m_capNote->setText(m_content.capNote.value_or(QString()));

    // A file still in sight keeps its tile, but its item may be a fresher
    // reading and the list around it has changed.
    m_rebindTiles = true;
    CardThumbnail::noteListMoved();
    recomputeLayout();
    placeWidgets();
    placeTiles();
    releaseOffThread(std::move(old));
    emit contentChanged();
}

int FileBrowser::headerWidth() const
{
    return std::max(0, int(viewport()->width() - 2 * m_pad));
}

BrowserMetrics FileBrowser::metrics() const
{
    BrowserMetrics metrics;
    metrics.pad = m_pad;
    metrics.spacing = m_spacing;
    // The header and the accessory wrap their rows to the width they get.
    const int width = headerWidth();
    metrics.headerHeight = m_header->arrangeForWidth(width);
    if (m_accessory)
        metrics.accessoryHeight = m_accessory->hasHeightForWidth()
                                      ? m_accessory->heightForWidth(width)
                                      : m_accessory->sizeHint().height();
    metrics.sectionTitleHeight = m_filesTitle->sizeHint().height();
    metrics.capNoteHeight = m_capNote->sizeHint().height();
    const CardSize size = m_state.cardSize();
    metrics.folderCardHeight = browserTileHeight(BrowserTile::Kind::folder, size);
    metrics.cardHeight = browserTileHeight(BrowserTile::Kind::card, size);
    metrics.rowHeight = browserTileHeight(BrowserTile::Kind::row, size);
    return metrics;
}

void FileBrowser::recomputeLayout()
{
    m_layoutDirty = false;
    const QSize area = viewport()->size();
    m_layout = BrowserLayout(m_content, m_state.viewMode(), m_state.cardSize(), area.width(),
                             area.height(), metrics());
    QScrollBar* bar = verticalScrollBar();
    bar->setPageStep(area.height());
    bar->setRange(0, std::max(0, int(std::ceil(m_layout.contentHeight())) - area.height()));
}

void FileBrowser::placeWidgets()
{
    const int offset = verticalScrollBar()->value();
    const auto place = [offset](QWidget* widget, const std::optional<QRectF>& rect) {
        if (!rect) {
            widget->hide();
            return;
        }
        widget->setGeometry(rect->toRect().translated(0, -offset));
        widget->show();
    };
    place(m_header, m_layout.headerRect());
    if (m_accessory) place(m_accessory, m_layout.accessoryRect());
    // Before the first model arrives there is nothing to say, not even that
    // the list is empty.
    const bool loading = m_content.state == BrowserContent::State::loading;
    place(m_loading, loading ? m_layout.stateRect() : std::nullopt);
    place(m_empty, loading || !m_hasContent ? std::nullopt : m_layout.stateRect());
    place(m_foldersTitle, m_layout.folderTitleRect());
    place(m_filesTitle, m_layout.fileTitleRect());
    place(m_capNote, m_layout.capNoteRect());
}

BrowserTile::Kind FileBrowser::kindAt(int index) const
{
    if (m_layout.isFolder(index)) return BrowserTile::Kind::folder;
    return m_state.viewMode() == ViewMode::grid ? BrowserTile::Kind::card : BrowserTile::Kind::row;
}

FileBrowser::Slot FileBrowser::takeSpare(BrowserTile::Kind kind)
{
    std::vector<Slot>& spares = m_spares[int(kind)];
    if (!spares.empty()) {
        Slot slot = std::move(spares.back());
        spares.pop_back();
        return slot;
    }
    Slot slot;
    slot.kind = kind;
    slot.tile = makeBrowserTile(kind, m_context, viewport(), tileHandlers());
    ++m_madeTiles;
    return slot;
}

void FileBrowser::placeTiles()
{
    const int offset = verticalScrollBar()->value();
    const int height = viewport()->height();
    const auto [first, end] =
        m_layout.visibleRange(offset - kOverscan, offset + height + kOverscan);
    const QList<FileItem>& navigation = m_content.navigation;

    // Tiles that left the band, or whose kind no longer fits (the view mode
    // changed), become spares; they are hidden only if nothing takes them.
    QSet<QString> wanted;
    for (int i = first; i < end; ++i)
        wanted.insert(navigation[i].path);
    for (auto it = m_placed.begin(); it != m_placed.end();) {
        Slot& slot = it->second;
        const bool keep = wanted.contains(it->first) && slot.kind == kindAt(slot.index);
        if (keep) {
            ++it;
            continue;
        }
        m_spares[int(slot.kind)].push_back(std::move(slot));
        it = m_placed.erase(it);
    }

    const QSet<QString>& selected = m_state.selectedFiles();
    const std::optional<FileItem> focused = m_state.focusedItem();
    const CardSize cardSize = m_state.cardSize();
    for (int i = first; i < end; ++i) {
        const FileItem& item = navigation[i];
        auto it = m_placed.find(item.path);
        if (it == m_placed.end()) {
            Slot slot = takeSpare(kindAt(i));
            slot.tile->setItem(item, m_content.shown);
            slot.tile->setPlaying(m_context.player && m_context.player->currentPath() == item.path);
            it = m_placed.emplace(item.path, std::move(slot)).first;
        } else if (m_rebindTiles) {
            it->second.tile->setItem(item, m_content.shown);
        }
        Slot& slot = it->second;
        slot.index = i;
        slot.tile->setSelected(selected.contains(item.path));
        slot.tile->setFocused(focused && focused->path == item.path);
        slot.tile->setCardSize(cardSize);
        slot.tile->place(m_layout.itemRect(i).toRect().translated(0, -offset));
        QWidget* widget = slot.tile->widget();
        if (widget->isHidden()) widget->show();
    }
    m_rebindTiles = false;
    for (auto& spares : m_spares) {
        for (Slot& spare : spares) {
            if (!spare.tile->widget()->isHidden()) spare.tile->widget()->hide();
        }
    }
    emit tilesPlaced();
}

void FileBrowser::refreshTileStates()
{
    const QSet<QString>& selected = m_state.selectedFiles();
    const std::optional<FileItem> focused = m_state.focusedItem();
    const QString playing = m_context.player ? m_context.player->currentPath() : QString();
    for (auto& [path, slot] : m_placed) {
        slot.tile->setSelected(selected.contains(path));
        slot.tile->setFocused(focused && focused->path == path);
        slot.tile->setPlaying(!playing.isEmpty() && path == playing);
    }
}

void FileBrowser::resizeEvent(QResizeEvent* event)
{
    QAbstractScrollArea::resizeEvent(event);
    m_layoutDirty = true;
    refreshNow();
}

void FileBrowser::scrollContentsBy(int, int)
{
    CardThumbnail::noteListMoved();
    if (m_contentDirty || m_layoutDirty) {
        refreshNow();
        return;
    }
    placeWidgets();
    placeTiles();
}

bool FileBrowser::viewportEvent(QEvent* event)
{
    switch (event->type()) {
    case QEvent::Paint: {
        QPainter painter(viewport());
        painter.fillRect(viewport()->rect(), Theme::bg());
        return true;
    }
    case QEvent::MouseButtonPress: {
        auto* mouse = static_cast<QMouseEvent*>(event);
        if (mouse->button() == Qt::LeftButton) clearSelectionFromBackground();
        return true;
    }
    case QEvent::MouseButtonRelease: return true;
    default: return QAbstractScrollArea::viewportEvent(event);
    }
}

BrowserTile::Handlers FileBrowser::tileHandlers()
{
    BrowserTile::Handlers handlers;
    handlers.clicked = [this](const FileItem& item) { selectFromClick(item); };
    handlers.doubleClicked = [this](const FileItem& item) { open(item); };
    handlers.contextMenu = [this](const FileItem& item, const QPoint& at) {
        if (m_interactions) m_interactions->showContextMenu(item, content().shown, at);
    };
    handlers.drag = [this](const FileItem& item, QWidget* source) {
        if (m_interactions) m_interactions->startDrag(item, content().shown, source);
    };
    return handlers;
}

void FileBrowser::selectFromClick(const FileItem& item)
{
    m_state.select(item, QGuiApplication::keyboardModifiers());
    setFocus(Qt::MouseFocusReason);
}

void FileBrowser::clearSelectionFromBackground()
{
    m_state.setSelectedFiles({});
    m_state.setFocusedItem(std::nullopt);
    setFocus(Qt::MouseFocusReason);
}

void FileBrowser::open(const FileItem& item)
{
    if (item.category == FileCategory::folders) {
        m_state.openFolder(item.path);
        return;
    }
    if (playMusic(item)) return;
    if (m_interactions) m_interactions->open(item, content().shown);
}

bool FileBrowser::playMusic(const FileItem& item)
{
    if (item.category != FileCategory::music || !m_context.player) return false;
    m_context.player->play(item, content().shown);
    return true;
}

void FileBrowser::activate(const FileItem& item, bool space)
{
    if (item.category == FileCategory::folders) {
        m_state.openFolder(item.path);
    } else if (space || previews(item.category)) {
        m_state.preview(item, content().shown);
    } else if (!playMusic(item) && m_interactions) {
        // Everything else opens in its application: that is the shared
        // interactions' business.
        m_interactions->open(item, content().shown);
    }
}

void FileBrowser::keyPressEvent(QKeyEvent* event)
{
    const int key = event->key();
    if (key == Qt::Key_Space || key == Qt::Key_Return || key == Qt::Key_Enter) {
        const std::optional<FileItem> focused = m_state.focusedItem();
        if (!focused) {
            event->ignore();
            return;
        }
        activate(*focused, key == Qt::Key_Space);
        event->accept();
        return;
    }
    if (const std::optional<ArrowKey> arrow = arrowKey(key)) {
        if (content().navigation.isEmpty()) {
            event->ignore();
            return;
        }
        moveFocus(*arrow);
        event->accept();
        return;
    }
    QAbstractScrollArea::keyPressEvent(event);
}

void FileBrowser::moveFocus(ArrowKey key)
{
    const BrowserContent& shown = content();
    std::optional<int> current;
    if (const std::optional<FileItem> focused = m_state.focusedItem()) {
        current = shown.navigationIndex(focused->path);
    }
    const std::optional<int> target =
        arrowTarget(key, int(shown.navigation.size()), current, layout().verticalStep());
    if (!target) return;
    const FileItem item = shown.navigation[*target];
    m_state.setSelectedFiles({item.path});
    m_state.setFocusedItem(item);
    scrollToItem(*target);
}

void FileBrowser::scrollToItem(int index)
{
    const QRectF rect = m_layout.itemRect(index);
    QScrollBar* bar = verticalScrollBar();
    const int top = bar->value();
    const int bottom = top + viewport()->height();
    int target = top;
    // The least scrolling that brings the whole item into view.
    if (rect.top() < top) {
        target = int(std::floor(rect.top()));
    } else if (rect.bottom() > bottom) {
        target = int(std::ceil(rect.bottom())) - viewport()->height();
    }
    target = std::clamp(target, bar->minimum(), bar->maximum());
    if (target == top) return;
    m_scrollAnimation->stop();
    m_scrollAnimation->setStartValue(top);
    m_scrollAnimation->setEndValue(target);
    m_scrollAnimation->start();
}

} // namespace ovra
