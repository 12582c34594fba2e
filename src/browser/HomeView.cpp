#include "HomeView.h"

#include "AddFolderCard.h"
#include "CollectionView.h"
#include "FileInteractions.h"
#include "FolderCard.h"
#include "FolderItemCard.h"
#include "GalleryCard.h"
#include "library/AppState.h"
#include "library/Fmt.h"
#include "library/LibraryStore.h"
#include "platform/Background.h"
#include "ui/PathText.h"
#include "ui/ScrollBarStyle.h"
#include "ui/SectionTitle.h"
#include "ui/StandardFolders.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QAbstractButton>
#include <QFileDialog>
#include <QHBoxLayout>
#include <QLabel>
#include <QLayout>
#include <QLocale>
#include <QMenu>
#include <QPainter>
#include <QPointer>
#include <QScrollBar>
#include <QTime>
#include <QVBoxLayout>

#include <algorithm>

namespace ovra {

namespace {

constexpr int kColumnSpacing = 34;
constexpr int kTopInset = 28;
constexpr int kBottomInset = 40;
constexpr int kSectionSpacing = 16;
constexpr int kGridMinimumColumn = 240;
constexpr int kGridSpacing = 22;
constexpr int kGreetingSize = 28;
constexpr int kSummarySize = 12;
constexpr int kButtonTextSize = 12;
constexpr int kButtonHeight = 30;
constexpr int kButtonPadX = 12;
constexpr int kButtonRadius = 10;
constexpr int kSeeAllSize = 12;
constexpr int kSeeAllArrow = 10;
constexpr int kSeeAllGap = 4;
constexpr int kShelfSpacing = 22;
constexpr int kShelfBleed = 10;
constexpr int kPreviewCount = 3;

// The columns of the home view's grids: as many of at least the minimum width
// as fit, sharing the width; each row as tall as its tallest tile.
class AdaptiveGrid : public QLayout {
public:
    explicit AdaptiveGrid(QWidget* parent)
        : QLayout(parent)
    {
        setContentsMargins(0, 0, 0, 0);
    }
    ~AdaptiveGrid() override { qDeleteAll(m_items); }

    void addItem(QLayoutItem* item) override { m_items.append(item); }
    int count() const override { return int(m_items.size()); }
    QLayoutItem* itemAt(int index) const override { return m_items.value(index); }
    QLayoutItem* takeAt(int index) override
    {
        return index >= 0 && index < m_items.size() ? m_items.takeAt(index) : nullptr;
    }
    Qt::Orientations expandingDirections() const override { return Qt::Horizontal; }
    bool hasHeightForWidth() const override { return true; }
    int heightForWidth(int width) const override { return arrange(QRect(0, 0, width, 0), false); }
    QSize sizeHint() const override
    {
        return {kGridMinimumColumn, heightForWidth(kGridMinimumColumn)};
    }
    QSize minimumSize() const override { return {kGridMinimumColumn, 0}; }
    void setGeometry(const QRect& rect) override
    {
        QLayout::setGeometry(rect);
        arrange(rect, true);
    }

private:
    int arrange(const QRect& rect, bool place) const
    {
        const int columns =
            std::max(1, (rect.width() + kGridSpacing) / (kGridMinimumColumn + kGridSpacing));
        const double columnWidth = (rect.width() - kGridSpacing * (columns - 1)) / double(columns);
        int y = rect.top();
        for (qsizetype start = 0; start < m_items.size(); start += columns) {
            int rowHeight = 0;
            const qsizetype end = std::min<qsizetype>(start + columns, m_items.size());
            for (qsizetype i = start; i < end; ++i)
                rowHeight = std::max(rowHeight, m_items[i]->sizeHint().height());
            if (place) {
                for (qsizetype i = start; i < end; ++i) {
                    const double x = rect.left() + (i - start) * (columnWidth + kGridSpacing);
                    m_items[i]->setGeometry(QRect(int(x), y, int(columnWidth), rowHeight));
                }
            }
            y += rowHeight + kGridSpacing;
        }
        return m_items.isEmpty() ? 0 : y - rect.top() - kGridSpacing;
    }

    QList<QLayoutItem*> m_items;
};

// The header's Refresh button: a symbol and a word on a rounded plate.
class PlateButton : public QAbstractButton {
public:
    PlateButton(const QString& title, const QString& symbol, QWidget* parent)
        : QAbstractButton(parent)
        , m_symbol(symbol)
    {
        setText(title);
        setFont(Theme::font(kButtonTextSize));
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const int width = QFontMetrics(font()).horizontalAdvance(text());
        return {width + kButtonTextSize + 6 + 2 * kButtonPadX, kButtonHeight};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        painter.setPen(QPen(Theme::line(), 1));
        painter.setBrush(Theme::card());
        painter.drawRoundedRect(area, kButtonRadius, kButtonRadius);
        const QColor colour = isDown() ? Theme::primary() : Theme::secondary();
        const QRectF symbol(kButtonPadX, (height() - kButtonTextSize) / 2.0, kButtonTextSize,
                            kButtonTextSize);
        Symbols::paint(painter, m_symbol, symbol, colour);
        painter.setPen(colour);
        painter.drawText(QRectF(symbol.right() + 6, 0, width(), height()),
                         Qt::AlignLeft | Qt::AlignVCenter, text());
    }

private:
    QString m_symbol;
};

// "See all" with an arrow after it, in the secondary colour, on no plate.
class SeeAllButton : public QAbstractButton {
public:
    explicit SeeAllButton(QWidget* parent)
        : QAbstractButton(parent)
    {
        setText(QObject::tr("See all"));
        setFont(Theme::font(kSeeAllSize));
        setCursor(Qt::PointingHandCursor);
        setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    }
    QSize sizeHint() const override
    {
        const QFontMetrics metrics(font());
        return {metrics.horizontalAdvance(text()) + kSeeAllGap + kSeeAllArrow, metrics.height()};
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QColor colour = isDown() ? Theme::primary() : Theme::secondary();
        painter.setPen(colour);
        painter.drawText(rect(), Qt::AlignLeft | Qt::AlignVCenter, text());
        const QRectF arrow(width() - kSeeAllArrow, (height() - kSeeAllArrow) / 2.0, kSeeAllArrow,
                           kSeeAllArrow);
        Symbols::paint(painter, QStringLiteral("arrow.right"), arrow, colour);
    }
};

QLabel* plainLabel(const QString& text, const QFont& font, QColor (*tone)(), QWidget* parent)
{
    auto* label = new QLabel(text, parent);
    label->setTextFormat(Qt::PlainText);
    label->setFont(font);
    Theme::setTextTone(label, tone);
    return label;
}

QWidget* section(SectionTitle* title, QWidget* content, QWidget* parent)
{
    auto* box = new QWidget(parent);
    auto* column = new QVBoxLayout(box);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSectionSpacing);
    column->addWidget(title);
    column->addWidget(content);
    return box;
}

} // namespace

QString homeGreeting(int hour)
{
    if (hour >= 5 && hour <= 11) return QStringLiteral("Good morning");
    if (hour >= 12 && hour <= 16) return QStringLiteral("Good afternoon");
    return QStringLiteral("Good evening");
}

QString homeSummaryLine(const QHash<SidebarItem, SpotlightResult>& collections)
{
    qint64 count = 0;
    qint64 size = 0;
    bool anyLoaded = false;
    for (FileCategory category : kLibraryCategories) {
        const auto found = collections.constFind(SidebarItem::category(category));
        if (found == collections.cend()) continue;
        anyLoaded = true;
        count += found->totalCount;
        size += found->totalSize;
    }
    if (!anyLoaded) return QStringLiteral("Taking stock of everything on your computer…");
    return QLocale().toString(count) +
           (count == 1 ? QStringLiteral(" file") : QStringLiteral(" files")) +
           QStringLiteral(" · ") + Fmt::bytes(size) + QStringLiteral(" across your computer");
}

QList<Location> homeFolders(const QStringList& pinned, const QList<Location>& standardFolders)
{
    QList<Location> folders;
    for (const QString& path : pinned)
        folders.append({path, displayName(path), QStringLiteral("folder")});
    folders.append(standardFolders);
    return folders;
}

QColor homeFolderTint(qsizetype position)
{
    const auto& pastels = Theme::pastels();
    return pastels[size_t(position + 1) % pastels.size()];
}

Shelf::Shelf(const AppContext& context, QString title, SidebarItem item, QWidget* parent)
    : QWidget(parent)
    , m_context(context)
    , m_item(std::move(item))
    , m_title(new SectionTitle(title, std::nullopt, false, this))
    , m_strip(new QWidget)
    , m_scroll(new QScrollArea(this))
{
    auto* column = new QVBoxLayout(this);
    column->setContentsMargins(0, 0, 0, 0);
    column->setSpacing(kSectionSpacing - kShelfBleed);

    auto* header = new QHBoxLayout;
    header->setContentsMargins(0, 0, 0, 0);
    header->addWidget(m_title);
    header->addStretch(1);
    auto* seeAll = new SeeAllButton(this);
    AppState* state = m_context.state;
    const SidebarItem shelfItem = m_item;
    connect(seeAll, &QAbstractButton::clicked, this,
            [state, shelfItem] { state->setSelection(shelfItem); });
    header->addWidget(seeAll);
    column->addLayout(header);

    const QMargins shadow = GalleryCard::shadowMargins();
    auto* row = new QHBoxLayout(m_strip);
    row->setContentsMargins(2, 0, 2, 0);
    row->setSpacing(std::max(0, kShelfSpacing - shadow.left() - shadow.right()));
    row->addStretch(1);
    m_strip->setAutoFillBackground(false);
    m_scroll->setWidget(m_strip);
    m_scroll->setWidgetResizable(true);
    m_scroll->setFrameShape(QFrame::NoFrame);
    m_scroll->setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->setVerticalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    m_scroll->viewport()->setAutoFillBackground(false);
    column->addWidget(m_scroll);

    connect(state, &AppState::selectedFilesChanged, this, &Shelf::followSelection);
    connect(state, &AppState::cardSizeChanged, this, &Shelf::followCardSize);
    hide();
}

void Shelf::show(const std::optional<SpotlightResult>& result)
{
    if (!result || result->items.isEmpty()) {
        setVisible(false);
        m_items.clear();
        return;
    }
    m_title->setCount(result->totalCount);
    const QList<FileItem> items = result->items.mid(0, kShownItems);
    setVisible(true);
    if (items == m_items) return;
    m_items = items;
    auto* row = static_cast<QHBoxLayout*>(m_strip->layout());
    FileInteractions* interactions = m_context.interactions;
    AppState* state = m_context.state;
    while (m_cards.size() < m_items.size()) {
        auto* card = new GalleryCard(m_context, m_strip);
        connect(card, &GalleryCard::clicked, this,
                [state](const FileItem& item, Qt::KeyboardModifiers modifiers) {
                    state->select(item, modifiers);
                });
        // The shelf's items are the list: previews and playback stay within them.
        connect(card, &GalleryCard::doubleClicked, this,
                [this, interactions](const FileItem& item) {
                    if (interactions) interactions->open(item, m_items);
                });
        connect(card, &GalleryCard::contextMenuRequested, this,
                [this, interactions](const FileItem& item, const QPoint& at) {
                    if (interactions) interactions->showContextMenu(item, m_items, at);
                });
        connect(card, &GalleryCard::dragRequested, this,
                [this, interactions, card](const FileItem& item) {
                    if (interactions) interactions->startDrag(item, m_items, card);
                });
        row->insertWidget(int(m_cards.size()), card);
        m_cards.append(card);
    }
    for (qsizetype i = 0; i < m_cards.size(); ++i) {
        const bool used = i < m_items.size();
        if (used) m_cards[i]->setItem(m_items[i]);
        m_cards[i]->setVisible(used);
    }
    followCardSize();
    followSelection();
}

void Shelf::followSelection()
{
    const QSet<QString> selected = m_context.state->selectedFiles();
    for (qsizetype i = 0; i < m_items.size() && i < m_cards.size(); ++i)
        m_cards[i]->setSelected(selected.contains(m_items[i].path));
}

void Shelf::followCardSize()
{
    const CardSize size = m_context.state->cardSize();
    int height = 0;
    for (GalleryCard* card : m_cards) {
        if (card->cardSize() != size) card->setCardSize(size);
        card->setFixedSize(card->sizeHint());
        height = std::max(height, card->sizeHint().height());
    }
    m_scroll->setFixedHeight(height);
}

HomeView::HomeView(const AppContext& context, QWidget* parent)
    : QScrollArea(parent)
    , m_context(context)
{
    setFrameShape(QFrame::NoFrame);
    setWidgetResizable(true);
    setHorizontalScrollBarPolicy(Qt::ScrollBarAlwaysOff);
    ScrollBarStyle::apply(this);
    viewport()->setAutoFillBackground(false);

    auto* page = new QWidget;
    page->setAutoFillBackground(false);
    m_column = new QVBoxLayout(page);
    m_column->setContentsMargins(kPad, kTopInset, kPad, kBottomInset);
    m_column->setSpacing(kColumnSpacing);
    m_column->addWidget(makeHeader());
    m_column->addWidget(makeLibrary());
    if (m_context.cleanupSection)
        m_column->addWidget(m_context.cleanupSection(m_context, std::nullopt, page));
    if (m_context.sourcesSection)
        m_column->addWidget(m_context.sourcesSection(m_context, std::nullopt, page));
    m_column->addWidget(makeFolders());
    const std::pair<const char*, SidebarItem> shelves[] = {
        {"Recently Opened", SidebarItem::smart(SmartCollection::recents)},
        {"Recent Photos", SidebarItem::category(FileCategory::images)},
        {"Recent Videos", SidebarItem::category(FileCategory::videos)},
        {"Your Music", SidebarItem::category(FileCategory::music)},
        {"Recent Documents", SidebarItem::category(FileCategory::documents)},
    };
    for (const auto& [title, item] : shelves) {
        auto* shelf = new Shelf(m_context, tr(title), item, page);
        m_shelves.append(shelf);
        m_column->addWidget(shelf);
    }
    m_column->addStretch(1);
    setWidget(page);

    AppState* state = m_context.state;
    if (m_context.library)
        connect(m_context.library, &LibraryStore::collectionsChanged, this,
                &HomeView::showCollections);
    connect(state, &AppState::pinnedChanged, this, &HomeView::showFolders);
    connect(state, &AppState::refreshTokenChanged, this, &HomeView::readStandardFolders);
    showCollections();
    showFolders();
    readStandardFolders();
}

HomeView::~HomeView() = default;

QWidget* HomeView::makeHeader()
{
    auto* header = new QWidget;
    auto* row = new QHBoxLayout(header);
    row->setContentsMargins(0, 0, 0, 0);
    auto* texts = new QVBoxLayout;
    texts->setSpacing(4);
    m_greeting = plainLabel(homeGreeting(QTime::currentTime().hour()), Theme::font(kGreetingSize),
                            &Theme::primary, header);
    m_summary = plainLabel(QString(), Theme::font(kSummarySize), &Theme::secondary, header);
    texts->addWidget(m_greeting);
    texts->addWidget(m_summary);
    row->addLayout(texts);
    row->addStretch(1);
    auto* refresh = new PlateButton(tr("Refresh"), QStringLiteral("arrow.clockwise"), header);
    AppState* state = m_context.state;
    connect(refresh, &QAbstractButton::clicked, this,
            [state] { state->setRefreshToken(state->refreshToken().next()); });
    row->addWidget(refresh, 0, Qt::AlignVCenter);
    return header;
}

QWidget* HomeView::makeLibrary()
{
    auto* gridBox = new QWidget;
    auto* grid = new AdaptiveGrid(gridBox);
    AppState* state = m_context.state;
    for (FileCategory category : kLibraryCategories) {
        auto* card = new FolderCard(gridBox);
        const SidebarItem item = SidebarItem::category(category);
        card->setTitle(item.title());
        card->setTint(Theme::tint(category));
        card->setCursor(Qt::PointingHandCursor);
        connect(card, &FolderCard::clicked, this, [state, item] { state->setSelection(item); });
        connect(card, &FolderCard::menuAboutToShow, this, [this, state, item](QMenu* menu) {
            menu->addAction(tr("Open ") + item.title(), this,
                            [state, item] { state->setSelection(item); });
            menu->addAction(tr("Refresh"), this,
                            [state] { state->setRefreshToken(state->refreshToken().next()); });
        });
        // The home view's cards stand for no file: a right click offers the card's menu.
        connect(card, &FolderCard::contextMenuRequested, card, &FolderCard::popupMenu);
        grid->addWidget(card);
        m_categoryCards.append(card);
    }
    return section(new SectionTitle(tr("Library"), qint64(kLibraryCategories.size())), gridBox,
                   nullptr);
}

QWidget* HomeView::makeFolders()
{
    m_foldersTitle = new SectionTitle(tr("Folders"), 0);
    m_folderGrid = new QWidget;
    new AdaptiveGrid(m_folderGrid);
    m_addFolder = new AddFolderCard(m_folderGrid);
    connect(m_addFolder, &QAbstractButton::clicked, this, &HomeView::pickFolder);
    m_folderGrid->layout()->addWidget(m_addFolder);
    return section(m_foldersTitle, m_folderGrid, nullptr);
}

void HomeView::showCollections()
{
    const QHash<SidebarItem, SpotlightResult> empty;
    const auto& collections = m_context.library ? m_context.library->collections() : empty;
    m_greeting->setText(homeGreeting(QTime::currentTime().hour()));
    m_summary->setText(homeSummaryLine(collections));
    for (qsizetype i = 0; i < m_categoryCards.size(); ++i) {
        FolderCard* card = m_categoryCards[i];
        const auto found =
            collections.constFind(SidebarItem::category(kLibraryCategories[size_t(i)]));
        if (found == collections.cend()) {
            card->setCount(std::nullopt);
            card->setDetail(std::nullopt);
            card->setPreviews({});
            continue;
        }
        card->setCount(found->totalCount);
        card->setDetail(collectionSubtitle(*found));
        card->setPreviews(found->items.mid(0, kPreviewCount));
    }
    static const SidebarItem shelfItems[] = {
        SidebarItem::smart(SmartCollection::recents), SidebarItem::category(FileCategory::images),
        SidebarItem::category(FileCategory::videos), SidebarItem::category(FileCategory::music),
        SidebarItem::category(FileCategory::documents)};
    for (qsizetype i = 0; i < m_shelves.size(); ++i) {
        const auto found = collections.constFind(shelfItems[i]);
        m_shelves[i]->show(found == collections.cend() ? std::nullopt
                                                       : std::optional<SpotlightResult>(*found));
    }
}

void HomeView::readStandardFolders()
{
    background::then(m_tasks.run(background::Pool::files, [] { return StandardFolders::byRole(); }),
                     this, [this](const QList<Location>& folders) {
                         if (folders == m_standardFolders) return;
                         m_standardFolders = folders;
                         showFolders();
                     });
}

void HomeView::showFolders()
{
    const QList<Location> folders = homeFolders(m_context.state->pinned(), m_standardFolders);
    auto* grid = m_folderGrid->layout();
    grid->removeWidget(m_addFolder);
    // A card per position: a standard folder that is also pinned shows twice.
    while (m_folderCards.size() > folders.size())
        delete m_folderCards.takeLast();
    while (m_folderCards.size() < folders.size()) {
        auto* card = new FolderItemCard(m_context, m_folderGrid);
        card->setCursor(Qt::PointingHandCursor);
        const qsizetype position = m_folderCards.size();
        connect(card, &FolderCard::clicked, this, [this, position] {
            const QList<Location> shown = homeFolders(m_context.state->pinned(), m_standardFolders);
            if (position < shown.size())
                m_context.state->setSelection(SidebarItem::location(shown[position]));
        });
        connect(card, &FolderCard::contextMenuRequested, card, &FolderCard::popupMenu);
        grid->addWidget(card);
        m_folderCards.append(card);
    }
    for (qsizetype i = 0; i < folders.size(); ++i)
        m_folderCards[i]->setFolder(folders[i].path, folders[i].title, homeFolderTint(i));
    grid->addWidget(m_addFolder);
    m_foldersTitle->setCount(folders.size());
    emit foldersShown();
}

void HomeView::addFolder(const QString& path)
{
    QStringList pinned = m_context.state->pinned();
    if (pinned.contains(path)) return;
    pinned.append(path);
    m_context.state->setPinned(pinned);
}

void HomeView::pickFolder()
{
    QFileDialog dialog(this);
    dialog.setFileMode(QFileDialog::Directory);
    dialog.setOption(QFileDialog::ShowDirsOnly);
    dialog.setLabelText(QFileDialog::Accept, tr("Add to Favourites"));
    if (dialog.exec() != QDialog::Accepted || dialog.selectedFiles().isEmpty()) return;
    addFolder(dialog.selectedFiles().first());
}

} // namespace ovra
