#include "PixelCopy.h"

#include <QPaintDevice>
#include <QPainter>

#include <cmath>

namespace ovra {
namespace {

template <typename Draw> void drawCopy(QPainter& painter, QPointF at, Draw draw)
{
    if (painter.transform().type() > QTransform::TxTranslate ||
        !painter.testRenderHint(QPainter::SmoothPixmapTransform)) {
        draw(at);
        return;
    }
    // Whole device pixels: the painter's offset and the point together.
    const double ratio = painter.device() ? painter.device()->devicePixelRatioF() : 1.0;
    const QPointF shift(painter.transform().dx(), painter.transform().dy());
    const auto snap = [ratio](double v) { return std::round(v * ratio) / ratio; };
    const QPointF device = at + shift;
    painter.setRenderHint(QPainter::SmoothPixmapTransform, false);
    draw(QPointF(snap(device.x()), snap(device.y())) - shift);
    painter.setRenderHint(QPainter::SmoothPixmapTransform, true);
}

} // namespace

void drawPixelCopy(QPainter& painter, QPointF at, const QPixmap& pixmap)
{
    drawCopy(painter, at, [&](QPointF p) { painter.drawPixmap(p, pixmap); });
}

void drawPixelCopy(QPainter& painter, QPointF at, const QImage& image)
{
    drawCopy(painter, at, [&](QPointF p) { painter.drawImage(p, image); });
}

QPixmap clearPixmap(QSizeF size, double ratio)
{
    QPixmap pixmap((size * ratio).toSize().expandedTo(QSize(1, 1)));
    pixmap.setDevicePixelRatio(ratio);
    pixmap.fill(Qt::transparent);
    return pixmap;
}

} // namespace ovra
