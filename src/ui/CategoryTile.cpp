#include "CategoryTile.h"

#include "PixelCopy.h"
#include "SoftShadow.h"
#include "Symbols.h"
#include "Theme.h"

#include "platform/PathKey.h"

#include <QCache>
#include <QFileInfo>
#include <QFontMetricsF>
#include <QLinearGradient>
#include <QPainter>
#include <QPainterPath>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

// Proportions of the tile's width.
constexpr double kSymbolShare = 0.28;
constexpr double kMinSymbolSize = 8;
constexpr double kBadgeFontShare = 0.075;
constexpr double kMinBadgeFontSize = 9;
constexpr double kStackSpacingShare = 0.06;
constexpr double kIconPaddingShare = 0.16;
// The badge shows on tiles wider than this.
constexpr double kMinBadgeTileWidth = 70;
constexpr double kBadgePaddingX = 7;
constexpr double kBadgePaddingY = 2;
constexpr double kBadgeFillOpacity = 0.22;
constexpr double kIconBackdropTopOpacity = 0.03;
constexpr double kIconBackdropBottomOpacity = 0.08;
constexpr double kStackShadowOpacity = 0.15;
constexpr double kStackShadowRadius = 2;
constexpr QPointF kStackShadowOffset{0, 1};
// Some two hundred stacks of a 128-point tile at two pixels a point.
constexpr qsizetype kStackCacheBytes = qsizetype(48) * 1024 * 1024;

QColor toColor(const Rgb& rgb)
{
    return QColor::fromRgbF(float(rgb.r), float(rgb.g), float(rgb.b));
}

bool showsIconFor(FileCategory category)
{
    return category == FileCategory::apps || category == FileCategory::folders ||
           category == FileCategory::other;
}

QRectF fitted(QSizeF content, const QRectF& box)
{
    if (content.isEmpty() || box.isEmpty()) return {};
    const QSizeF size = content.scaled(box.size(), Qt::KeepAspectRatio);
    return QRectF(box.center() - QPointF(size.width() / 2, size.height() / 2), size);
}

// The symbol in white, from the artwork Symbols read on a pool thread; a plain
// outline when the icon theme lacks it, so a tile is never blank.
QImage whiteSymbol(const QString& name, double side, double ratio)
{
    const int pixels = std::max(1, int(std::lround(side * ratio)));
    QImage symbol(pixels, pixels, QImage::Format_ARGB32_Premultiplied);
    symbol.fill(Qt::transparent);
    QPainter p(&symbol);
    p.setRenderHint(QPainter::Antialiasing);
    if (!Symbols::themeFile(name).isEmpty()) {
        Symbols::paint(p, name, QRectF(0, 0, pixels, pixels), Qt::white);
    } else {
        const double inset = pixels * 0.2;
        QPen pen(Qt::white, std::max(1.0, pixels * 0.08));
        p.setPen(pen);
        p.drawRoundedRect(QRectF(inset, inset * 0.6, pixels - 2 * inset, pixels - 1.2 * inset),
                          pixels * 0.08, pixels * 0.08);
    }
    p.end();
    symbol.setDevicePixelRatio(ratio);
    return symbol;
}

} // namespace

CategoryTile::CategoryTile(const FileItem& item, const QImage& icon, QSizeF size)
    : m_category(item.category)
    , m_extension(pathExtension(item.path).toUpper())
    , m_icon(icon)
    , m_size(size)
{
}

QString CategoryTile::symbolName(FileCategory category)
{
    switch (category) {
    case FileCategory::images: return QStringLiteral("photo");
    case FileCategory::videos: return QStringLiteral("play.rectangle");
    case FileCategory::music: return QStringLiteral("music.note");
    case FileCategory::documents: return QStringLiteral("doc.text");
    case FileCategory::archives: return QStringLiteral("archivebox");
    case FileCategory::apps: return QStringLiteral("square.grid.3x3");
    case FileCategory::code: return QStringLiteral("terminal");
    case FileCategory::folders: return QStringLiteral("folder");
    case FileCategory::other: return QStringLiteral("doc");
    }
    return QStringLiteral("doc");
}

CategoryTile::Layout CategoryTile::layout() const
{
    const double width = m_size.width();
    const double height = m_size.height();
    Layout layout;
    if (showsIconFor(m_category) && !m_icon.isNull()) {
        layout.showsIcon = true;
        const double padding = width * kIconPaddingShare;
        layout.iconRect =
            QRectF(0, 0, width, height).adjusted(padding, padding, -padding, -padding);
        return layout;
    }

    const double symbolSide = std::max(width * kSymbolShare, kMinSymbolSize);
    double stackHeight = symbolSide;
    QSizeF badgeSize;
    if (!m_extension.isEmpty() && width > kMinBadgeTileWidth) {
        layout.hasBadge = true;
        layout.badgeFont.setPixelSize(
            int(std::lround(std::max(width * kBadgeFontShare, kMinBadgeFontSize))));
        layout.badgeFont.setBold(true);
        const QFontMetricsF metrics(layout.badgeFont);
        layout.badgeText = metrics.elidedText(m_extension, Qt::ElideRight,
                                              std::max(0.0, width - 2 * kBadgePaddingX));
        badgeSize = QSizeF(metrics.horizontalAdvance(layout.badgeText) + 2 * kBadgePaddingX,
                           metrics.height() + 2 * kBadgePaddingY);
        stackHeight += width * kStackSpacingShare + badgeSize.height();
    }
    const double top = (height - stackHeight) / 2;
    layout.symbolRect = QRectF((width - symbolSide) / 2, top, symbolSide, symbolSide);
    if (layout.hasBadge) {
        const double badgeTop = layout.symbolRect.bottom() + width * kStackSpacingShare;
        layout.badgeRect = QRectF((width - badgeSize.width()) / 2, badgeTop, badgeSize.width(),
                                  badgeSize.height());
    }
    return layout;
}

void CategoryTile::paint(QPainter& painter, const QColor& primary) const
{
    if (m_size.isEmpty()) return;
    const Layout layout = this->layout();
    painter.save();
    painter.setRenderHints(QPainter::Antialiasing | QPainter::SmoothPixmapTransform);
    if (layout.showsIcon)
        paintIconLayer(painter, layout, primary);
    else
        paintSymbolLayer(painter, layout);
    painter.restore();
}

void CategoryTile::paintIconLayer(QPainter& painter, const Layout& layout,
                                  const QColor& primary) const
{
    const QRectF tile(QPointF(0, 0), m_size);
    QLinearGradient backdrop(tile.topLeft(), tile.bottomLeft());
    backdrop.setColorAt(0, withAlpha(primary, kIconBackdropTopOpacity));
    backdrop.setColorAt(1, withAlpha(primary, kIconBackdropBottomOpacity));
    painter.fillRect(tile, backdrop);

    const QRectF target = fitted(m_icon.deviceIndependentSize(), layout.iconRect);
    if (target.isEmpty()) return;
    const double ratio = painter.device()->devicePixelRatioF();
    const QSize pixels = (target.size() * ratio).toSize();
    // Scaled once here with a good filter rather than on every paint.
    QImage icon = pixels.isEmpty()
                      ? m_icon
                      : m_icon.scaled(pixels, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
    icon.setDevicePixelRatio(ratio);
    drawPixelCopy(painter, target.topLeft(), icon);
}

void CategoryTile::paintSymbolLayer(QPainter& painter, const Layout& layout) const
{
    const QRectF tile(QPointF(0, 0), m_size);
    const auto [start, end] = gradient(m_category);
    QLinearGradient background(tile.topLeft(), tile.bottomRight());
    background.setColorAt(0, toColor(start));
    background.setColorAt(1, toColor(end));
    painter.fillRect(tile, background);

    const double ratio = painter.device()->devicePixelRatioF();
    const QImage stack = symbolStack(layout, ratio);
    SoftShadow{withAlpha(Qt::black, kStackShadowOpacity), kStackShadowRadius, kStackShadowOffset}
        .paint(painter, stack, QPointF(0, 0));
    drawPixelCopy(painter, QPointF(0, 0), stack);
}

// The tiles on screen mostly repeat one kind at one size (a folder of photos),
// so their stacks are kept; a kept stack keeps its shadow too, which is cached
// by image. Tiles are drawn on the GUI thread only. A stack drawn before the
// symbols' artwork has been read lacks its symbol, so it is not kept.
QImage CategoryTile::symbolStack(const Layout& layout, double ratio) const
{
    static QCache<QString, QImage> stacks(kStackCacheBytes);
    const QChar separator(u'|');
    const QString key = QString::number(int(m_category)) + separator +
                        QString::number(m_size.width()) + u'x' + QString::number(m_size.height()) +
                        u'@' + QString::number(ratio) + separator +
                        (layout.hasBadge ? layout.badgeText : QString());
    if (const QImage* kept = stacks.object(key)) return *kept;
    const bool withSymbol = Symbols::isLoaded();
    QImage stack = makeSymbolStack(layout, ratio, withSymbol);
    if (withSymbol)
        stacks.insert(key, new QImage(stack), std::max<qsizetype>(1, stack.sizeInBytes()));
    return stack;
}

// The symbol and the badge, white, on a transparent layer the size of the tile.
QImage CategoryTile::makeSymbolStack(const Layout& layout, double ratio, bool withSymbol) const
{
    const QSize pixels = (m_size * ratio).toSize().expandedTo(QSize(1, 1));
    QImage stack(pixels, QImage::Format_ARGB32_Premultiplied);
    stack.setDevicePixelRatio(ratio);
    stack.fill(Qt::transparent);
    QPainter p(&stack);
    p.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                     QPainter::SmoothPixmapTransform);
    if (withSymbol)
        drawPixelCopy(p, layout.symbolRect.topLeft(),
                      whiteSymbol(symbolName(m_category), layout.symbolRect.width(), ratio));
    if (layout.hasBadge) {
        const double radius = layout.badgeRect.height() / 2;
        p.setPen(Qt::NoPen);
        p.setBrush(withAlpha(Qt::white, kBadgeFillOpacity));
        p.drawRoundedRect(layout.badgeRect, radius, radius);
        p.setPen(Qt::white);
        p.setFont(layout.badgeFont);
        p.drawText(layout.badgeRect, Qt::AlignCenter | Qt::TextSingleLine, layout.badgeText);
    }
    return stack;
}

} // namespace ovra
