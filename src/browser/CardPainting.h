#pragma once

#include <QColor>
#include <QFont>
#include <QRectF>
#include <QString>
#include <QStringList>

class QPainter;

namespace ovra::CardPainting {

// Small drawing helpers shared by the cards and rows of the file views.

QColor withOpacity(QColor color, double opacity);

// The largest rectangle of `aspect` (width to height) that fits in `box`,
// centred in it.
QRectF fitted(double aspect, const QRectF& box);

// A rounded rectangle's outline drawn inside its edge, as a border of `width`.
void strokeInside(QPainter& painter, const QRectF& rect, double radius, const QColor& color,
                  double width);

// A capsule (fully rounded ends) filled and outlined inside with a hairline.
void capsule(QPainter& painter, const QRectF& rect, const QColor& fill, const QColor& outline);

// The text broken into at most `maxLines` lines of `width`, the last one cut
// with an ellipsis when the text does not fit. Breaks between words where it
// can, inside a word where it must.
QStringList wrappedLines(const QString& text, const QFont& font, double width, int maxLines);

// The font's line height, as a text block stacks its lines.
double lineHeight(const QFont& font);

} // namespace ovra::CardPainting
