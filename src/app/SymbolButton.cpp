#include "SymbolButton.h"

#include "ui/Symbols.h"
#include "ui/Theme.h"

#include <QPainter>
#include <QPainterPath>

namespace ovra {

namespace {

// A pressed symbol dims, as plain buttons do.
constexpr double kPressedOpacity = 0.55;

} // namespace

SymbolButton::SymbolButton(const QString& symbol, int symbolSize, QSize frame, QWidget* parent)
    : QAbstractButton(parent)
    , m_symbol(symbol)
    , m_symbolSize(symbolSize)
    , m_frame(frame)
{
    setFocusPolicy(Qt::NoFocus);
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    followAppearance(this, [this] { update(); });
}

void SymbolButton::setTone(Tone tone)
{
    if (tone == m_tone) return;
    m_tone = tone;
    update();
}

void SymbolButton::setPlate(bool plate)
{
    if (plate == m_plate) return;
    m_plate = plate;
    update();
}

void SymbolButton::setHelp(const QString& text)
{
    setToolTip(text);
    setAccessibleName(text);
}

void SymbolButton::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const QRectF bounds = rect();
    if (m_plate) {
        painter.setPen(Qt::NoPen);
        painter.setBrush(Theme::fill());
        painter.drawEllipse(bounds);
    }
    if (isDown()) painter.setOpacity(kPressedOpacity);
    const QRectF symbol(bounds.center().x() - m_symbolSize / 2.0,
                        bounds.center().y() - m_symbolSize / 2.0, m_symbolSize, m_symbolSize);
    Symbols::paint(painter, m_symbol, symbol, toneColor(m_tone));
}

bool SymbolButton::hitButton(const QPoint& pos) const
{
    if (!m_round) return rect().contains(pos);
    QPainterPath circle;
    circle.addEllipse(QRectF(rect()));
    return circle.contains(pos);
}

} // namespace ovra
