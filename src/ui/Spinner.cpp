#include "Spinner.h"

#include "Theme.h"

#include <QPainter>
#include <QTimerEvent>

#include <algorithm>
#include <cmath>

namespace ovra {

namespace {

constexpr int kSpokes = 12;
constexpr int kStepMs = 80;
constexpr double kFaintestSpoke = 0.18;

} // namespace

Spinner::Spinner(QWidget* parent, int size)
    : QWidget(parent)
    , m_size(size)
{
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAttribute(Qt::WA_TransparentForMouseEvents);
}

void Spinner::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void Spinner::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setRenderHint(QPainter::Antialiasing);
    const qreal side = std::min(width(), height());
    const qreal outer = side / 2;
    const qreal inner = outer * 0.45;
    const QColor base = m_color.value_or(Theme::secondary());

    QPen pen(base, std::max(1.0, side / 9), Qt::SolidLine, Qt::RoundCap);
    painter.translate(rect().center() + QPointF(0.5, 0.5));
    for (int i = 0; i < kSpokes; ++i) {
        // The newest spoke is the strongest; the others fade behind it.
        const int age = (m_step - i + kSpokes) % kSpokes;
        QColor color = base;
        color.setAlphaF(
            float(base.alphaF() * std::max(kFaintestSpoke, 1.0 - double(age) / kSpokes)));
        pen.setColor(color);
        painter.setPen(pen);
        painter.save();
        painter.rotate(360.0 * i / kSpokes);
        painter.drawLine(QPointF(0, -inner), QPointF(0, -outer + pen.widthF() / 2));
        painter.restore();
    }
}

void Spinner::timerEvent(QTimerEvent* event)
{
    if (event->timerId() != m_timer.timerId()) return QWidget::timerEvent(event);
    m_step = (m_step + 1) % kSpokes;
    update();
}

void Spinner::showEvent(QShowEvent* event)
{
    m_timer.start(kStepMs, this);
    QWidget::showEvent(event);
}

void Spinner::hideEvent(QHideEvent* event)
{
    m_timer.stop();
    QWidget::hideEvent(event);
}

} // namespace ovra
