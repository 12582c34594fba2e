#include "DotsButton.h"

#include "Symbols.h"
#include "Theme.h"

#include <QMenu>
#include <QPainter>

namespace ovra {

namespace {

constexpr int kWidth = 38;
constexpr int kHeight = 24;
// The dots as tall as the 11-point bold glyph would stand.
constexpr int kSymbolSize = 13;

} // namespace

DotsButton::DotsButton(QWidget* parent)
    : QToolButton(parent)
{
    setPopupMode(QToolButton::InstantPopup);
    setMenu(new QMenu(this));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(tr("More"));
}

QSize DotsButton::sizeHint() const
{
    return {kWidth, kHeight};
}

void DotsButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);

    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    const qreal radius = outline.height() / 2;
    painter.setPen(QPen(Theme::line(), 1));
    painter.setBrush(Theme::card());
    painter.drawRoundedRect(outline, radius, radius);

    // The horizontal ellipsis turned a quarter so the dots stand upright.
    painter.translate(QRectF(rect()).center());
    painter.rotate(90);
    const QRectF symbol(-kSymbolSize / 2.0, -kSymbolSize / 2.0, kSymbolSize, kSymbolSize);
    Symbols::paint(painter, QStringLiteral("ellipsis"), symbol, Theme::secondary());
}

} // namespace ovra
