#include "BrowserTiles.h"

#include "app/ui/FolderShape.h"
#include "app/ui/Theme.h"
#include "services/ThumbnailView.h"

#include <QDateTime>
#include <QLocale>
#include <QPainter>
#include <QPainterPath>
#include <QWidget>

namespace ovra {

namespace {

constexpr double kFolderCardHeight = 162;
constexpr double kRowHeight = 56;
// The name and date block under a card's thumbnail area.
constexpr double kCardTextHeight = 62;
constexpr double kCardRadius = 12;
constexpr int kCardTextInsetX = 14;
constexpr int kCardTextInsetY = 13;
constexpr int kRowThumbnail = 40;
constexpr int kRowPaddingX = 12;
constexpr int kRowPaddingY = 8;
constexpr int kRowSizeWidth = 80;
constexpr int kRowDateWidth = 170;
constexpr int kRowAppIcon = 22;
constexpr int kRowSpacing = 14;

double thumbnailAreaHeight(CardSize size)
{
    switch (size) {
    case CardSize::small: return 198;
    case CardSize::medium: return 226;
    case CardSize::large: return 278;
    }
    return 226;
}

QString dateText(double seconds)
{
    return QLocale().toString(QDateTime::fromSecsSinceEpoch(qint64(seconds)), QLocale::ShortFormat);
}

// The tiles below stand in until the finished card and row widgets arrive:
// they show the thumbnail, the name and the selection, nothing more.

class PlainCard : public QWidget, public BrowserTile {
public:
    PlainCard(AppContext& context, QWidget* parent)
        : QWidget(parent)
        , m_thumbnail(new ThumbnailView(this))
    {
        Q_UNUSED(context);
        m_thumbnail->setCornerRadius(6);
    }

    QWidget* widget() override { return this; }
    void setItem(const FileItem& item, const QList<FileItem>&) override
    {
        m_item = item;
        m_thumbnail->setItem(item);
        setToolTip(item.name);
        update();
    }
    void setSelected(bool selected) override
    {
        if (m_selected == selected) return;
        m_selected = selected;
        update();
    }
    void setPlaying(bool playing) override
    {
        if (m_playing == playing) return;
        m_playing = playing;
        update();
    }

protected:
    void resizeEvent(QResizeEvent*) override
    {
        const int thumbHeight = height() - int(kCardTextHeight);
        m_thumbnail->setGeometry(QRect(28, 42, width() - 56, thumbHeight - 62));
    }

    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF bounds = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
        QPainterPath clip;
        clip.addRoundedRect(bounds, kCardRadius, kCardRadius);
        const double textTop = height() - kCardTextHeight;
        painter.save();
        painter.setClipPath(clip);
        QColor wash = Theme::primary();
        wash.setAlphaF(0.04f);
        painter.fillRect(QRectF(0, 0, width(), textTop), wash);
        painter.fillRect(QRectF(0, textTop, width(), kCardTextHeight), Theme::card());
        painter.restore();
        painter.setPen(m_selected ? QPen(Theme::ink(), 2) : QPen(Theme::line(), 1));
        painter.setBrush(Qt::NoBrush);
        painter.drawRoundedRect(m_selected ? QRectF(rect()).adjusted(1, 1, -1, -1) : bounds,
                                kCardRadius, kCardRadius);

        const QRectF text(kCardTextInsetX, textTop + kCardTextInsetY, width() - 2 * kCardTextInsetX,
                          kCardTextHeight - 2 * kCardTextInsetY);
        painter.setFont(Theme::font(13, QFont::Medium));
        painter.setPen(m_playing ? Theme::red() : Theme::primary());
        const QFontMetrics titleMetrics(painter.font());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop,
                         titleMetrics.elidedText(m_item.displayTitle(), Qt::ElideMiddle, int(text.width())));
        painter.setFont(Theme::font(12));
        painter.setPen(Theme::tertiary());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, dateText(m_item.modified));
    }

private:
    ThumbnailView* m_thumbnail;
    FileItem m_item;
    bool m_selected = false;
    bool m_playing = false;
};

class PlainRow : public QWidget, public BrowserTile {
public:
    PlainRow(AppContext& context, QWidget* parent)
        : QWidget(parent)
        , m_thumbnail(new ThumbnailView(this))
    {
        Q_UNUSED(context);
        m_thumbnail->setCornerRadius(8);
        m_thumbnail->setGeometry(kRowPaddingX, kRowPaddingY, kRowThumbnail, kRowThumbnail);
    }

    QWidget* widget() override { return this; }
    void setItem(const FileItem& item, const QList<FileItem>&) override
    {
        m_item = item;
        m_thumbnail->setItem(item);
        update();
    }
    void setSelected(bool selected) override
    {
        if (m_selected == selected) return;
        m_selected = selected;
        update();
    }
    void setPlaying(bool playing) override
    {
        if (m_playing == playing) return;
        m_playing = playing;
        update();
    }

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        if (m_selected) {
            QColor fill = Theme::primary();
            fill.setAlphaF(0.07f);
            painter.setPen(Qt::NoPen);
            painter.setBrush(fill);
            painter.drawRoundedRect(QRectF(rect()), 12, 12);
        }
        const int right = width() - kRowPaddingX - kRowAppIcon - kRowSpacing;
        const QRect date(right - kRowDateWidth, 0, kRowDateWidth, height());
        const QRect size(date.left() - kRowSpacing - kRowSizeWidth, 0, kRowSizeWidth, height());
        // The name over the kind, 3 points apart, centred on the row.
        const QFont nameFont = Theme::monospacedFont(13);
        const QFont kindFont = Theme::font(11);
        const QFontMetrics nameMetrics(nameFont), kindMetrics(kindFont);
        const int block = nameMetrics.height() + 3 + kindMetrics.height();
        const int nameLeft = kRowPaddingX + kRowThumbnail + kRowSpacing;
        const int nameWidth = std::max(0, size.left() - 12 - nameLeft);
        const QRect name(nameLeft, (height() - block) / 2, nameWidth, nameMetrics.height());
        const QRect kind(nameLeft, name.bottom() + 1 + 3, nameWidth, kindMetrics.height());

        painter.setFont(nameFont);
        painter.setPen(m_playing ? Theme::red() : Theme::primary());
        painter.drawText(name, Qt::AlignLeft | Qt::AlignVCenter,
                         nameMetrics.elidedText(m_item.displayTitle(), Qt::ElideRight, name.width()));
        painter.setFont(kindFont);
        painter.setPen(Theme::secondary());
        painter.drawText(kind, Qt::AlignLeft | Qt::AlignVCenter,
                         kindMetrics.elidedText(m_item.kindDescription(), Qt::ElideRight, kind.width()));
        painter.setFont(Theme::font(12));
        painter.drawText(size, Qt::AlignRight | Qt::AlignVCenter, m_item.sizeText());
        painter.drawText(date, Qt::AlignRight | Qt::AlignVCenter, dateText(m_item.modified));
    }

private:
    ThumbnailView* m_thumbnail;
    FileItem m_item;
    bool m_selected = false;
    bool m_playing = false;
};

class PlainFolderCard : public QWidget, public BrowserTile {
public:
    PlainFolderCard(AppContext& context, QWidget* parent)
        : QWidget(parent)
    {
        Q_UNUSED(context);
    }

    QWidget* widget() override { return this; }
    void setItem(const FileItem& item, const QList<FileItem>&) override
    {
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
    void setPlaying(bool) override {}

protected:
    void paintEvent(QPaintEvent*) override
    {
        QPainter painter(this);
        painter.setRenderHint(QPainter::Antialiasing);
        const QRectF area = QRectF(rect()).adjusted(1, 1, -1, -1);
        const QPainterPath outline = FolderShape{0.36, 16, 16}.path(area);
        QColor tint = Theme::tint(FileCategory::folders);
        tint.setAlphaF(0.22f);
        painter.setBrush(tint);
        painter.setPen(m_selected ? QPen(Theme::ink(), 2) : QPen(Theme::line(), 1));
        painter.drawPath(outline);
        painter.setFont(Theme::monospacedFont(13, QFont::Medium));
        painter.setPen(Theme::primary());
        const QRectF text = area.adjusted(16, 34, -16, -16);
        painter.drawText(text, Qt::AlignLeft | Qt::AlignTop,
                         QFontMetrics(painter.font()).elidedText(m_item.displayTitle(), Qt::ElideMiddle, int(text.width())));
        painter.setFont(Theme::font(11));
        painter.setPen(Theme::secondary());
        painter.drawText(text, Qt::AlignLeft | Qt::AlignBottom, dateText(m_item.modified));
    }

private:
    FileItem m_item;
    bool m_selected = false;
};

} // namespace

std::unique_ptr<BrowserTile> makeBrowserTile(BrowserTile::Kind kind, AppContext& context,
                                             QWidget* parent)
{
    switch (kind) {
    case BrowserTile::Kind::folder: return std::make_unique<PlainFolderCard>(context, parent);
    case BrowserTile::Kind::card: return std::make_unique<PlainCard>(context, parent);
    case BrowserTile::Kind::row: return std::make_unique<PlainRow>(context, parent);
    }
    return nullptr;
}

double browserTileHeight(BrowserTile::Kind kind, CardSize size)
{
    switch (kind) {
    case BrowserTile::Kind::folder: return kFolderCardHeight;
    case BrowserTile::Kind::card: return thumbnailAreaHeight(size) + kCardTextHeight;
    case BrowserTile::Kind::row: return kRowHeight;
    }
    return kRowHeight;
}

} // namespace ovra
