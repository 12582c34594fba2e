#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace ovra {

// A soft shadow under a rounded rectangle, painted from a blurred image that
// is made once per shape and kept: many graphics effects in a view are slow.
struct SoftShadow {
    QColor color;
    qreal blurRadius = 0; // how far the shadow spreads beyond the shape
    QPointF offset;

    // How far beyond the shape the shadow can reach, to reserve room for it.
    qreal reach() const;

    // Paints the shadow of the rounded rectangle `shape` (device-independent
    // pixels) in the painter's coordinates.
    void paint(QPainter& painter, const QRectF& shape, qreal cornerRadius) const;
};

} // namespace ovra
