#pragma once

#include <QColor>
#include <QImage>
#include <QPointF>

class QPainter;

namespace ovra {

// Draws a soft shadow of `image` (its coverage, in `color`, blurred by about
// `radius` points) with its top-left at `topLeft` + `offset`, the way a view
// casts a shadow under what it draws. The image's device pixel ratio says how
// many pixels make a point. Blurring is done on the CPU: callers draw into a
// cached pixmap, not on every paint.
void drawDropShadow(QPainter& painter, const QImage& image, QPointF topLeft, const QColor& color,
                    double radius, QPointF offset);

} // namespace ovra
