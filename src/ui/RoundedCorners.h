#pragma once

#include <QRectF>

class QPainter;

namespace ovra {

// Makes what `painter` has drawn inside `rect` transparent outside a rectangle
// with corners of `radius`, with smooth edges (a clip path would leave them
// jagged). The device must have an alpha channel.
void cutCornersRound(QPainter& painter, const QRectF& rect, double radius);

} // namespace ovra
