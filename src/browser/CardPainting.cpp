#include "CardPainting.h"

#include "ui/PixelCopy.h"

#include <QFontMetricsF>
#include <QPainter>
#include <QPixmapCache>
#include <QTextLayout>

#include <algorithm>
#include <cmath>

namespace ovra::CardPainting {

bool hasClearPixels(const QImage& image)
{
    if (!image.hasAlphaChannel()) return false;
    const QImage pixels = image.convertToFormat(QImage::Format_ARGB32);
    for (int y = 0; y < pixels.height(); ++y) {
        const auto* line = reinterpret_cast<const QRgb*>(pixels.constScanLine(y));
        for (int x = 0; x < pixels.width(); ++x)
            if (qAlpha(line[x]) < 255) return true;
    }
    return false;
}

QRectF fitted(double aspect, const QRectF& box)
{
    if (box.isEmpty() || !(aspect > 0)) return {};
    double height = box.height();
    double width = height * aspect;
    if (width > box.width()) {
        width = box.width();
        height = width / aspect;
    }
    return QRectF(box.center() - QPointF(width / 2, height / 2), QSizeF(width, height));
}

void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& color,
                  double width)
{
    const double half = width / 2;
    const QRectF inner = rect.adjusted(half, half, -half, -half);
    const double innerRadius = std::max(0.0, radius - half);
    painter.save();
    painter.setBrush(Qt::NoBrush);
    painter.setPen(QPen(color, width));
    painter.drawRoundedRect(inner, innerRadius, innerRadius);
    painter.restore();
}

void capsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& outline)
{
    const double radius = rect.height() / 2;
    painter.save();
    painter.setPen(Qt::NoPen);
    painter.setBrush(fill);
    painter.drawRoundedRect(rect, radius, radius);
    painter.restore();
    if (outline.alpha() > 0) strokeInside(painter, rect, radius, outline, 1);
}

QStringList wrappedLines(const QString& text, const QFont& font, double width, int maxLines)
{
    QStringList lines;
    if (text.isEmpty() || maxLines < 1 || !(width > 0)) return lines;
    QTextLayout layout(text, font);
    QTextOption option;
    option.setWrapMode(QTextOption::WrapAtWordBoundaryOrAnywhere);
    layout.setTextOption(option);
    layout.beginLayout();
    while (true) {
        QTextLine line = layout.createLine();
        if (!line.isValid()) break;
        line.setLineWidth(width);
        if (lines.size() == maxLines - 1) {
            // The last allowed line takes whatever is left, cut to fit.
            const QString rest = text.mid(line.textStart()).simplified();
            lines << QFontMetricsF(font).elidedText(rest, Qt::ElideRight, width);
            break;
        }
        lines << text.mid(line.textStart(), line.textLength()).trimmed();
    }
    layout.endLayout();
    return lines;
}

QPixmap cachedPixmap(const QString& key, QSizeF size, double ratio,
                     const std::function<void(QPainter&)>& draw)
{
    const QString fullKey = key + u'|' + QString::number(size.width()) + u'x' +
                            QString::number(size.height()) + u'@' + QString::number(ratio);
    QPixmap pixmap;
    if (QPixmapCache::find(fullKey, &pixmap)) return pixmap;
    pixmap = clearPixmap(size, ratio);
    {
        QPainter painter(&pixmap);
        painter.setRenderHints(QPainter::Antialiasing | QPainter::TextAntialiasing |
                               QPainter::SmoothPixmapTransform);
        draw(painter);
    }
    QPixmapCache::insert(fullKey, pixmap);
    return pixmap;
}

double lineHeight(const QFont& font)
{
    return std::ceil(QFontMetricsF(font).height());
}

} // namespace ovra::CardPainting
