#include "RingProgress.h"

#include "Theme.h"

#include <QPainter>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr double kRingWidthFraction = 0.16;

} // namespace

RingProgress::RingProgress(QWidget* parent, int size)
    : QWidget(parent)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
}

void RingProgress::setProgress(double done, double total)
{
    const double whole = total < 1 || !std::isfinite(total) ? 1.0 : total;
    const double fraction = std::isfinite(done) ? std::clamp(done / whole, 0.0, 1.0) : 0.0;
    if (fraction == m_fraction) return;
    m_fraction = fraction;
    update();
}

void RingProgress::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void RingProgress::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const qreal lineWidth = std::max(1.5, side * kRingWidthFraction);
    const QRectF ring = QRectF(QPointF(0, 0), QSizeF(side, side))
                            .adjusted(lineWidth / 2, lineWidth / 2, -lineWidth / 2, -lineWidth / 2)
                            .translated((width() - side) / 2, (height() - side) / 2);

    painter.setPen(QPen(Theme::line(), lineWidth));
    painter.drawEllipse(ring);
    if (m_fraction <= 0) return;
    painter.setPen(QPen(m_color.value_or(Theme::ink()), lineWidth, Qt::SolidLine, Qt::FlatCap));
    // Angles in sixteenths of a degree, counter-clockwise from three o'clock.
    painter.drawArc(ring, 90 * 16, -int(std::lround(m_fraction * 360 * 16)));
}

} // namespace ovra
