#include "PlaceholderCover.h"

#include "CardPainting.h"
#include "platform/PathKey.h"
#include "ui/PixelCopy.h"
#include "ui/SoftShadow.h"
#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QCache>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

// Every card of a kind shows the same icon: it is resampled once per size and
// the copy handed out again, so the shadow kept for that picture is found too.
// The GUI thread's alone.
QImage resampledIcon(const QImage& icon, QSize pixels, double ratio)
{
    static QCache<QString, QImage> made(64);
    const QString key = QString::number(icon.cacheKey()) + u'|' + QString::number(pixels.width()) +
                        u'x' + QString::number(pixels.height()) + u'@' + QString::number(ratio);
    if (const QImage* hit = made.object(key)) return *hit;
    QImage scaled = icon.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    // Set before it is shared: changing a shared picture would copy it.
    scaled.setDevicePixelRatio(ratio);
    made.insert(key, new QImage(scaled));
    return scaled;
}

constexpr double kCornerRadius = 6;

// Icon cover.
constexpr double kIconMaxHeightShare = 0.78;
const QColor kIconShadowColour(0, 0, 0, 46); // black at 18 %
constexpr double kIconShadowRadius = 6;
constexpr QPointF kIconShadowOffset{0, 3};
constexpr double kMissingIconShare = 0.3;

// Album cover.
constexpr double kAlbumInsetShare = 0.08;
constexpr double kNoteShare = 0.16;
constexpr double kTitleShare = 0.075;
constexpr double kMinTitleSize = 9;
constexpr double kArtistShare = 0.055;
constexpr double kMinArtistSize = 8;
constexpr double kArtistOpacity = 0.8;
constexpr double kAlbumStackSpacing = 2;
constexpr int kTitleLines = 2;
constexpr double kSecondColourOpacity = 0.85;
constexpr double kDiscOpacity = 0.14;
constexpr double kDiscScale = 1.2;
constexpr double kDiscShiftXShare = 0.28;
constexpr double kDiscShiftYShare = 0.30;
constexpr double kAlbumShadowOpacity = 0.35;
constexpr double kAlbumShadowRadius = 8;
constexpr QPointF kAlbumShadowOffset{0, 4};

// Paper page.
constexpr double kPageAspect = 0.75;
constexpr double kPageInsetShare = 0.08;
constexpr double kPageSymbolShare = 0.11;
constexpr double kPageGapShare = 0.02;
constexpr double kPageSpacing = 5;
constexpr int kTextLines = 5;
constexpr double kTextLineHeight = 3;
constexpr double kTextLineOpacity = 0.08;
constexpr double kShortLineInsetShare = 0.15;
constexpr double kBadgeFontShare = 0.06;
constexpr double kMinBadgeFontSize = 8;
constexpr double kBadgePaddingX = 6;
constexpr double kBadgePaddingY = 2;
constexpr double kBadgeFillOpacity = 0.14;
const SoftShadow kPageShadow{QColor(0, 0, 0, 31), 6, QPointF(0, 3)}; // black at 12 %

int pixelSize(double size)
{
    return std::max(1, int(std::lround(size)));
}

QPainterPath roundedPath(const QRectF& rect, double radius)
{
    QPainterPath path;
    path.addRoundedRect(rect, radius, radius);
    return path;
}

} // namespace

PlaceholderCover::PlaceholderCover(const FileItem& item, const QImage& icon, double height)
    : m_item(item)
    , m_icon(icon)
    , m_height(height)
    , m_style(styleFor(item.category))
{
}

PlaceholderCover::Style PlaceholderCover::styleFor(FileCategory category)
{
    switch (category) {
    case FileCategory::music: return Style::album;
    case FileCategory::images:
    case FileCategory::videos:
    case FileCategory::documents:
    case FileCategory::code: return Style::paper;
    case FileCategory::archives:
    case FileCategory::apps:
    case FileCategory::folders:
    case FileCategory::other: return Style::icon;
    }
    return Style::icon;
}

QString PlaceholderCover::paperSymbol(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return QStringLiteral("photo.on.rectangle.angled");
    case FileCategory::videos: return QStringLiteral("play.rectangle");
    case FileCategory::code: return QStringLiteral("chevron.left.forwardslash.chevron.right");
    case FileCategory::documents:
    default: return QStringLiteral("doc.text");
    }
}

QString PlaceholderCover::extensionBadge(const FileItem& item)
{
    const QString extension = pathExtension(item.path);
    return extension.isEmpty() ? QStringLiteral("FILE") : extension.toUpper();
}

QString PlaceholderCover::albumTitle(const FileItem& item)
{
    QString title = item.displayTitle();
    const QString extension = pathExtension(item.path);
    // Without an extension there is nothing to take off: removing a bare "."
    // would eat every dot of the title.
    if (!extension.isEmpty()) title.remove(u'.' + extension, Qt::CaseInsensitive);
    return title;
}

std::array<QColor, 2> PlaceholderCover::albumColors(const QString& name)
{
    return {Theme::pastel(name), Theme::pastel(name + QChar(0x00B7))};
}

QRectF PlaceholderCover::shapeRect(const QRectF& rect) const
{
    switch (m_style) {
    case Style::album: return CardPainting::fitted(1.0, rect);
    case Style::paper: return CardPainting::fitted(kPageAspect, rect);
    case Style::icon: {
        if (m_icon.isNull()) return {};
        const QRectF box(rect.left(), rect.center().y() - kIconMaxHeightShare * m_height / 2,
                         rect.width(), std::min(rect.height(), kIconMaxHeightShare * m_height));
        return CardPainting::fitted(double(m_icon.width()) / m_icon.height(), box);
    }
    }
    return {};
}

void PlaceholderCover::paint(QPainter& painter, const QRectF& rect) const
{
    if (rect.isEmpty()) return;
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform |
                           QPainter::TextAntialiasing);
    switch (m_style) {
    case Style::icon: paintIcon(painter, rect); break;
    case Style::album: paintAlbum(painter, rect); break;
    case Style::paper: paintPaper(painter, rect); break;
    }
    painter.restore();
}

void PlaceholderCover::paintMissingIcon(QPainter& painter, const QRectF& rect,
                                        FileCategory category, double height)
{
    QString symbol;
    switch (category) {
    case FileCategory::archives: symbol = QStringLiteral("archivebox"); break;
    case FileCategory::apps: symbol = QStringLiteral("app.dashed"); break;
    case FileCategory::folders: symbol = QStringLiteral("folder"); break;
    default: symbol = QStringLiteral("doc"); break;
    }
    const double side = std::min(rect.width(), kMissingIconShare * height);
    Symbols::paint(painter, symbol,
                   QRectF(rect.center() - QPointF(side / 2, side / 2), QSizeF(side, side)),
                   Theme::tertiary());
}

void PlaceholderCover::paintIcon(QPainter& painter, const QRectF& rect) const
{
    const QRectF shape = shapeRect(rect);
    if (shape.isEmpty()) return;
    // Resampled once to the pixels it covers: drawing a large icon scaled down
    // through the painter would alias.
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QImage icon =
        resampledIcon(m_icon, (shape.size() * ratio).toSize().expandedTo(QSize(1, 1)), ratio);
    SoftShadow{kIconShadowColour, kIconShadowRadius, kIconShadowOffset}.paint(painter, icon,
                                                                              shape.topLeft());
    drawPixelCopy(painter, shape.topLeft(), icon);
}

void PlaceholderCover::paintAlbum(QPainter& painter, const QRectF& rect) const
{
    const QRectF square = shapeRect(rect);
    if (square.isEmpty()) return;
    const auto [c1, c2] = albumColors(m_item.name);
    const double h = m_height;

    SoftShadow{fadedBy(c1, kAlbumShadowOpacity), kAlbumShadowRadius, kAlbumShadowOffset}.paint(
        painter, square, kCornerRadius);

    const QPainterPath outline = roundedPath(square, kCornerRadius);
    QLinearGradient gradient(square.topLeft(), square.bottomRight());
    gradient.setColorAt(0, c1);
    gradient.setColorAt(1, fadedBy(c2, kSecondColourOpacity));
    painter.fillPath(outline, gradient);

    // A pale disc, most of it beyond the lower right edge.
    const double diameter = square.width() * kDiscScale;
    const QPointF centre = square.center() + QPointF(kDiscShiftXShare * h, kDiscShiftYShare * h);
    QPainterPath disc;
    disc.addEllipse(centre, diameter / 2, diameter / 2);
    painter.fillPath(disc.intersected(outline), fadedBy(Qt::white, kDiscOpacity));

    const double inset = kAlbumInsetShare * h;
    const QRectF content = square.adjusted(inset, inset, -inset, -inset);
    if (content.isEmpty()) return;
    const double noteSize = kNoteShare * h;
    Symbols::paint(painter, QStringLiteral("music.note"),
                   QRectF(content.topLeft(), QSizeF(noteSize, noteSize)), Qt::white);

    // Title and artist sit at the foot, under a spacer.
    const QFont titleFont =
        Theme::font(pixelSize(std::max(kTitleShare * h, kMinTitleSize)), QFont::Bold);
    const QStringList titleLines =
        CardPainting::wrappedLines(albumTitle(m_item), titleFont, content.width(), kTitleLines);
    const bool hasArtist = m_item.artist.has_value();
    const QFont artistFont = Theme::font(pixelSize(std::max(kArtistShare * h, kMinArtistSize)));
    const double titleLineHeight = CardPainting::lineHeight(titleFont);
    const double artistHeight = hasArtist ? CardPainting::lineHeight(artistFont) : 0;
    double y = content.bottom() - artistHeight - (hasArtist ? kAlbumStackSpacing : 0) -
               titleLineHeight * titleLines.size();
    y = std::max(y, content.top() + noteSize + kAlbumStackSpacing);

    painter.setPen(Qt::white);
    painter.setFont(titleFont);
    for (const QString& line : titleLines) {
        painter.drawText(QRectF(content.left(), y, content.width(), titleLineHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, line);
        y += titleLineHeight;
    }
    if (hasArtist) {
        y += kAlbumStackSpacing;
        painter.setFont(artistFont);
        painter.setPen(fadedBy(Qt::white, kArtistOpacity));
        const QString artist =
            QFontMetricsF(artistFont).elidedText(*m_item.artist, Qt::ElideRight, content.width());
        painter.drawText(QRectF(content.left(), y, content.width(), artistHeight),
                         Qt::AlignLeft | Qt::AlignVCenter, artist);
    }
}

void PlaceholderCover::paintPaper(QPainter& painter, const QRectF& rect) const
{
    const QRectF page = shapeRect(rect);
    if (page.isEmpty()) return;
    const double h = m_height;
    const QColor tint = Theme::tint(m_item.category);

    kPageShadow.paint(painter, page, kCornerRadius);
    painter.fillPath(roundedPath(page, kCornerRadius), Theme::card());

    const double inset = kPageInsetShare * h;
    const QRectF content = page.adjusted(inset, inset, -inset, -inset);
    if (content.isEmpty()) return;

    // Like text on a sheet: everything stacks from the top.
    double y = content.top();
    const double symbolSize = kPageSymbolShare * h;
    Symbols::paint(painter, paperSymbol(m_item.category),
                   QRectF(content.left(), y, symbolSize, symbolSize), tint);
    y += symbolSize + kPageSpacing + kPageGapShare * h + kPageSpacing;

    const QColor lineColour = fadedBy(Theme::primary(), kTextLineOpacity);
    for (int line = 0; line < kTextLines; ++line) {
        const double shortening = line == kTextLines - 1 ? kShortLineInsetShare * h : 0;
        CardPainting::capsule(
            painter,
            QRectF(content.left(), y, std::max(0.0, content.width() - shortening), kTextLineHeight),
            lineColour, Qt::transparent);
        y += kTextLineHeight + kPageSpacing;
    }

    const QFont badgeFont = Theme::monospacedFont(
        pixelSize(std::max(kBadgeFontShare * h, kMinBadgeFontSize)), QFont::DemiBold);
    const QFontMetricsF metrics(badgeFont);
    const double textRoom = std::max(0.0, content.width() - 2 * kBadgePaddingX);
    const QString badge = metrics.elidedText(extensionBadge(m_item), Qt::ElideRight, textRoom);
    const QRectF badgeRect(
        content.left(), y,
        std::min(content.width(), metrics.horizontalAdvance(badge) + 2 * kBadgePaddingX),
        metrics.height() + 2 * kBadgePaddingY);
    CardPainting::capsule(painter, badgeRect, fadedBy(tint, kBadgeFillOpacity), Qt::transparent);
    painter.setFont(badgeFont);
    painter.setPen(tint);
    painter.drawText(badgeRect, Qt::AlignCenter, badge);
}

} // namespace ovra
