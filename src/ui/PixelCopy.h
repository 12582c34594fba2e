#pragma once

#include <QImage>
#include <QPixmap>
#include <QPointF>
#include <QSizeF>

class QPainter;

namespace ovra {

// Draws a picture that was made at the painter's pixel ratio one pixel to one
// pixel, at the nearest whole pixel. With smooth transformation on, Qt's raster
// engine resamples every picture, even one that needs no resampling, and splits
// that slow path over its thread pool while the GUI thread waits; so a picture
// that only moves is drawn with it off. Under a scaling or rotating transform
// the painter's own hints stand.
void drawPixelCopy(QPainter& painter, QPointF at, const QPixmap& pixmap);
void drawPixelCopy(QPainter& painter, QPointF at, const QImage& image);

// A transparent pixmap covering `size` points at `ratio` pixels a point, at
// least one pixel: what a drawing kept for copying is drawn into.
QPixmap clearPixmap(QSizeF size, double ratio);

} // namespace ovra
