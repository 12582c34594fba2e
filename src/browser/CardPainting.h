#pragma once

#include <QColor>
#include <QFont>
#include <QImage>
#include <QPixmap>
#include <QRectF>
#include <QString>
#include <QStringList>

#include <functional>

class QPainter;

namespace ovra::CardPainting {

// Small drawing helpers shared by the cards and rows of the file views.

// The largest rectangle of `aspect` (width to height) that fits in `box`,
// centred in it.
QRectF fitted(double aspect, const QRectF& box);

// Whether a picture lets the ground through anywhere (a logo or an icon on a
// clear background). Such a picture is drawn without the shadow of its box,
// which would show through it as a grey square.
bool hasClearPixels(const QImage& image);

// A rounded rectangle's outline drawn inside its edge, as a border of `width`.
void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& color,
                  double width);

// A capsule (fully rounded ends) filled and outlined inside with a hairline.
void capsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& outline);

// The text broken into at most `maxLines` lines of `width`, the last one cut
// with an ellipsis when the text does not fit. Breaks between words where it
// can, inside a word where it must.
QStringList wrappedLines(const QString& text, const QFont& font, double width, int maxLines);

// A pixmap of `size` (device-independent pixels) at `ratio`, drawn by `draw`
// on a transparent ground the first time `key` is asked for and then kept in
// the shared pixmap cache. The key must name everything the drawing depends
// on (the appearance too); the size and ratio are added to it here.
QPixmap cachedPixmap(const QString& key, QSizeF size, double ratio,
                     const std::function<void(QPainter&)>& draw);

// The font's line height, as a text block stacks its lines.
double lineHeight(const QFont& font);

} // namespace ovra::CardPainting
