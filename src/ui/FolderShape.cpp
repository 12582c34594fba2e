#include "FolderShape.h"

namespace ovra {

QPainterPath FolderShape::path(const QRectF& rect) const
{
    const qreal x0 = rect.left();
    const qreal y0 = rect.top();
    const qreal x1 = rect.right();
    const qreal y1 = rect.bottom();
    const qreal tab = x0 + tabWidthFraction * rect.width();
    const qreal half = kShoulderWidth / 2;
    const qreal h = tabHeight;
    const qreal r = radius;

    // Corners are quadratic curves through the rectangle's corner points, not
    // circular arcs; the shoulder is flat at both ends.
    QPainterPath path;
    path.moveTo(x0, y0 + r);
    path.quadTo(x0, y0, x0 + r, y0);
    path.lineTo(tab - half, y0);
    path.cubicTo(tab, y0, tab, y0 + h, tab + half, y0 + h);
    path.lineTo(x1 - r, y0 + h);
    path.quadTo(x1, y0 + h, x1, y0 + h + r);
    path.lineTo(x1, y1 - r);
    path.quadTo(x1, y1, x1 - r, y1);
    path.lineTo(x0 + r, y1);
    path.quadTo(x0, y1, x0, y1 - r);
    path.closeSubpath();
    return path;
}

} // namespace ovra
