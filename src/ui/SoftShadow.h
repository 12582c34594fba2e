#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>
#include <QRectF>

class QPainter;

namespace ovra {

// A soft shadow, the one way the app casts one: under a rounded rectangle (a
// card, a toast) or under what a picture covers (an icon, a stack of symbols).
// Blurring is done on the CPU; each shadow is made once and kept as an image,
// so repainting a view full of cards blurs nothing (graphics effects would blur
// on every paint). The kept images are shared between threads.
struct SoftShadow {
    QColor color;
    qreal blurRadius = 0; // how far the shadow spreads beyond the shape, in points
    QPointF offset;

    // How far beyond the shape the shadow can reach, to reserve room for it.
    qreal reach() const;

    // The shadow of the rounded rectangle `shape`, in the painter's coordinates.
    void paint(QPainter& painter, const QRectF& shape, qreal cornerRadius) const;
    // The shadow of what `image` covers, as if the image were drawn at `topLeft`.
    // The image's device pixel ratio says how many pixels make a point; the
    // shadow is kept for as long as the image is unchanged.
    void paint(QPainter& painter, const QImage& image, QPointF topLeft) const;
};

} // namespace ovra
