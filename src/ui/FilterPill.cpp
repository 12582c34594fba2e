#include "FilterPill.h"

#include "Symbols.h"
#include "Theme.h"
#include "ui/PixelCopy.h"

#include <QMenu>
#include <QPainter>

namespace ovra {

namespace {

constexpr int kFontSize = 12;
constexpr int kSpacing = 6;
constexpr int kPaddingX = 12;
constexpr int kHeight = 30;
constexpr int kChevronSize = 9;
constexpr qreal kCornerRadius = 10;
constexpr double kActiveBorderOpacity = 0.35;

} // namespace

FilterPill::FilterPill(const QString& label, const QString& value, bool active, QWidget* parent)
    : QToolButton(parent)
    , m_label(label)
    , m_value(value)
    , m_active(active)
{
    setFont(Theme::font(kFontSize));
    setPopupMode(QToolButton::InstantPopup);
    setMenu(new QMenu(this));
    setSizePolicy(QSizePolicy::Fixed, QSizePolicy::Fixed);
    setAccessibleName(labelText() + QLatin1Char(' ') + m_value);
}

void FilterPill::setLabel(const QString& label)
{
    m_label = label;
    updateGeometry();
    update();
}

void FilterPill::setValue(const QString& value)
{
    m_value = value;
    setAccessibleName(labelText() + QLatin1Char(' ') + m_value);
    updateGeometry();
    update();
}

void FilterPill::setActive(bool active)
{
    if (m_active == active) return;
    m_active = active;
    update();
}

QString FilterPill::labelText() const
{
    return m_label + QLatin1Char(':');
}

QSize FilterPill::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const int content = metrics.horizontalAdvance(labelText()) + kSpacing +
                        metrics.horizontalAdvance(m_value) + kSpacing + kChevronSize;
    return {content + 2 * kPaddingX, kHeight};
}

// Drawn once per look and copied after: the bar repaints with every change of
// the list under it, and an anti-aliased outline is slow to fill.
void FilterPill::paintEvent(QPaintEvent*)
{
    const double ratio = devicePixelRatioF();
    const QString key = labelText() + u'|' + m_value + u'|' + (m_active ? u'a' : u'n') +
                        (Theme::isDark() ? u'd' : u'l') + u'|' + QString::number(width()) + u'x' +
                        QString::number(height()) + u'@' + QString::number(ratio);
    if (key != m_drawnKey) {
        m_drawn = clearPixmap(QSizeF(size()), ratio);
        QPainter painter(&m_drawn);
        draw(painter);
        m_drawnKey = key;
    }
    QPainter(this).drawPixmap(0, 0, m_drawn);
}

void FilterPill::draw(QPainter& painter) const
{
    painter.setRenderHint(QPainter::Antialiasing);
    painter.setFont(font());

    // The border is stroked inside the edge: half a pixel in from it.
    const QRectF outline = QRectF(rect()).adjusted(0.5, 0.5, -0.5, -0.5);
    QColor border = m_active ? Theme::ink() : Theme::line();
    if (m_active) border.setAlphaF(float(kActiveBorderOpacity));
    painter.setPen(QPen(border, 1));
    painter.setBrush(m_active ? Theme::fill() : Theme::card());
    painter.drawRoundedRect(outline, kCornerRadius, kCornerRadius);

    const QFontMetrics metrics = fontMetrics();
    const QString label = labelText();
    qreal x = kPaddingX;
    const QRectF line(0, 0, width(), height());
    painter.setPen(Theme::secondary());
    painter.drawText(line.adjusted(x, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, label);
    x += metrics.horizontalAdvance(label) + kSpacing;
    painter.setPen(Theme::primary());
    painter.drawText(line.adjusted(x, 0, 0, 0), Qt::AlignLeft | Qt::AlignVCenter, m_value);
    x += metrics.horizontalAdvance(m_value) + kSpacing;
    const QRectF chevron(x, (height() - kChevronSize) / 2.0, kChevronSize, kChevronSize);
    Symbols::paint(painter, QStringLiteral("chevron.down"), chevron, Theme::secondary());
}

} // namespace ovra
