#include "ElidingLabel.h"

#include <QEvent>
#include <QPainter>

namespace ovra {

namespace {

// Line breaks would make a second line that the label cannot show.
QString oneLine(QString text)
{
    for (QChar& c : text)
        if (c == QLatin1Char('\n') || c == QLatin1Char('\r') || c == QChar::LineSeparator ||
            c == QChar::ParagraphSeparator)
            c = QLatin1Char(' ');
    return text;
}

} // namespace

ElidingLabel::ElidingLabel(QWidget* parent)
    : ElidingLabel(QString(), parent)
{
}

ElidingLabel::ElidingLabel(const QString& text, QWidget* parent)
    : QWidget(parent)
    , m_text(oneLine(text))
{
    setSizePolicy(QSizePolicy::Preferred, QSizePolicy::Fixed);
}

void ElidingLabel::setText(const QString& text)
{
    const QString line = oneLine(text);
    if (line == m_text) return;
    m_text = line;
    updateGeometry();
    update();
}

void ElidingLabel::setElideMode(Qt::TextElideMode mode)
{
    m_elideMode = mode;
    update();
}

void ElidingLabel::setAlignment(Qt::Alignment alignment)
{
    m_alignment = alignment;
    update();
}

void ElidingLabel::setColor(const QColor& color)
{
    m_color = color;
    update();
}

void ElidingLabel::clearColor()
{
    m_color.reset();
    update();
}

void ElidingLabel::setHintCap(int pixels)
{
    m_hintCap = std::max(0, pixels);
    updateGeometry();
}

QString ElidingLabel::shownText() const
{
    return fontMetrics().elidedText(m_text, m_elideMode, contentsRect().width());
}

QSize ElidingLabel::sizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const QMargins margins = contentsMargins();
    const int width = std::min(metrics.horizontalAdvance(m_text), m_hintCap);
    return {width + margins.left() + margins.right(),
            metrics.height() + margins.top() + margins.bottom()};
}

QSize ElidingLabel::minimumSizeHint() const
{
    const QFontMetrics metrics = fontMetrics();
    const QMargins margins = contentsMargins();
    const int ellipsis = metrics.horizontalAdvance(QChar(0x2026));
    const int width = std::min(ellipsis, metrics.horizontalAdvance(m_text));
    return {width + margins.left() + margins.right(),
            metrics.height() + margins.top() + margins.bottom()};
}

void ElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color.value_or(palette().color(QPalette::WindowText)));
    painter.setFont(font());
    painter.drawText(contentsRect(), int(m_alignment) | Qt::TextSingleLine, shownText());
}

void ElidingLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

} // namespace ovra
