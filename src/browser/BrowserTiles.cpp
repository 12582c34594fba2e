#include "BrowserTiles.h"

#include "CardPainting.h"
#include "FileRow.h"
#include "FolderItemCard.h"
#include "GalleryCard.h"
#include "TilePointer.h"
#include "library/Fmt.h"
#include "ui/FolderShape.h"
#include "ui/PixelCopy.h"
#include "ui/Theme.h"

#include <QContextMenuEvent>
#include <QMouseEvent>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace ovra {

namespace {

constexpr double kFolderCardHeight = 162;

// Connects the pointer reports of a card or row to the browser's handlers.
template <typename Widget>
void connectHandlers(Widget* widget, const BrowserTile::Handlers& handlers)
{
    QObject::connect(
        widget, &Widget::clicked, widget,
        [handlers](const FileItem& item, Qt::KeyboardModifiers) { handlers.clicked(item); });
    QObject::connect(widget, &Widget::doubleClicked, widget,
                     [handlers](const FileItem& item) { handlers.doubleClicked(item); });
    QObject::connect(
        widget, &Widget::contextMenuRequested, widget,
        [handlers](const FileItem& item, const QPoint& at) { handlers.contextMenu(item, at); });
    QObject::connect(widget, &Widget::dragRequested, widget,
                     [handlers, widget](const FileItem& item) { handlers.drag(item, widget); });
}

class CardTile : public BrowserTile {
public:
    CardTile(const AppContext& context, QWidget* parent, const Handlers& handlers)
        : m_card(new GalleryCard(context, parent))
    {
        connectHandlers(m_card, handlers);
    }
    ~CardTile() override { delete m_card; }

    QWidget* widget() override { return m_card; }
    void setItem(const FileItem& item, const QList<FileItem>&) override { m_card->setItem(item); }
    void setSelected(bool selected) override { m_card->setSelected(selected); }
    void setFocused(bool focused) override { m_card->setFocused(focused); }
    void setPlaying(bool playing) override { m_card->setPlaying(playing); }
    void setCardSize(CardSize size) override
    {
        if (m_card->cardSize() != size) m_card->setCardSize(size);
    }
    // The card fills its cell, its shadow's room around it.
    void place(const QRect& cell) override
    {
        m_card->setCardWidth(cell.width());
        m_card->move(cell.topLeft() - m_card->cardRect().topLeft());
    }

private:
    GalleryCard* m_card;
};

class RowTile : public BrowserTile {
public:
    RowTile(QWidget* parent, const Handlers& handlers)
        : m_row(new FileRow(parent))
    {
        connectHandlers(m_row, handlers);
    }
    ~RowTile() override { delete m_row; }

    QWidget* widget() override { return m_row; }
    void setItem(const FileItem& item, const QList<FileItem>&) override { m_row->setItem(item); }
    void setSelected(bool selected) override { m_row->setSelected(selected); }
    void setFocused(bool focused) override { m_row->setFocused(focused); }
    void setPlaying(bool playing) override { m_row->setPlaying(playing); }
    void setCardSize(CardSize) override {}
    void place(const QRect& cell) override { m_row->setGeometry(cell); }

private:
    FileRow* m_row;
};

// A folder in the Folders section: the folder outline tinted for folders, its
// name and date. It stands in until the folder item card arrives.
class FolderTile : public QWidget, public BrowserTile {
public:
    FolderTile(QWidget* parent, const Handlers& handlers)
        : QWidget(parent)
        , m_handlers(handlers)
    {
    }

    QWidget* widget() override { return this; }
    void setItem(const FileItem& item, const QList<FileItem>&) override
    {
        if (item.path != m_item.path) m_pointer.forget();
        m_item = item;
        setToolTip(item.name);
        update();
    }
    void setSelected(bool selected) override
    {
        if (m_selected == selected) return;
        m_selected = selected;
        update();
    }
    void setFocused(bool) override {}
    void setPlaying(bool) override {}
    void setCardSize(CardSize) override {}
    void place(const QRect& cell) override { setGeometry(cell); }

protected:
    void mousePressEvent(QMouseEvent* event) override
    {
        if (!m_pointer.press(*event, kTilePart)) event->ignore();
    }
    void mouseMoveEvent(QMouseEvent* event) override
    {
        if (m_pointer.dragStarts(*event, kTilePart)) m_handlers.drag(m_item, this);
    }
    void mouseReleaseEvent(QMouseEvent* event) override
    {
        const bool inside = rect().contains(event->position().toPoint());
        if (m_pointer.release(*event, inside ? kTilePart : TilePointer::kNothing) == kTilePart)
            m_handlers.clicked(m_item);
    }
    void mouseDoubleClickEvent(QMouseEvent* event) override
    {
        if (m_pointer.doubleClick(*event, kTilePart)) m_handlers.doubleClicked(m_item);
    }
    void contextMenuEvent(QContextMenuEvent* event) override
    {
        m_handlers.contextMenu(m_item, event->globalPos());
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        // The outline is the same on every folder of one size: drawn once.
        const bool selected = m_selected;
        const QPixmap outline = CardPainting::cachedPixmap(
            QStringLiteral("folder-tile|") + (Theme::isDark() ? u'd' : u'l') +
                (selected ? u's' : u'n'),
            QSizeF(size()), devicePixelRatioF(), [&](QPainter& p) {
                QColor tint = Theme::tint(FileCategory::folders);
                tint.setAlphaF(0.22f);
                p.setBrush(tint);
                p.setPen(selected ? QPen(Theme::ink(), 2) : QPen(Theme::line(), 1));
                p.drawPath(FolderShape{0.36, 16, 16}.path(area));
            });
        drawPixelCopy(painter, QPointF(0, 0), outline);
        const QRectF text = area.adjusted(16, 34, -16, -16);
        painter.setFont(Theme::monospacedFont(13, QFont::Medium));
        painter.setPen(Theme::primary());
        painter.drawText(
            text, Qt::AlignLeft | Qt::AlignTop,
            QFontMetrics(painter.font())
                .elidedText(m_item.displayTitle(), Qt::ElideMiddle, int(text.width())));
        painter.setFont(Theme::font(11));
        painter.setPen(Theme::secondary());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, Fmt::dateTime(m_item.modified));
    }

private:
    static constexpr int kTilePart = 1;

    Handlers m_handlers;
    FileItem m_item;
    bool m_selected = false;
    TilePointer m_pointer;
};

} // namespace

std::unique_ptr<BrowserTile> makeBrowserTile(BrowserTile::Kind kind, const AppContext& context,
                                             QWidget* parent, BrowserTile::Handlers handlers)
{
    switch (kind) {
    case BrowserTile::Kind::folder: return makeFolderItemTile(context, parent, handlers);
    case BrowserTile::Kind::card: return std::make_unique<CardTile>(context, parent, handlers);
    case BrowserTile::Kind::row: return std::make_unique<RowTile>(parent, handlers);
    }
    return nullptr;
}

double browserTileHeight(BrowserTile::Kind kind, CardSize size)
{
    switch (kind) {
    case BrowserTile::Kind::folder: return kFolderCardHeight;
    case BrowserTile::Kind::card: return GalleryCard::cardDimensions(size).height();
    case BrowserTile::Kind::row: return FileRow::kHeight;
    }
    return FileRow::kHeight;
}

} // namespace ovra
