#include "ElidingLabel.h"

#include <QEvent>
#include <QPainter>
#include <QStyle>

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

void ElidingLabel::setWrapsWords(bool wraps)
{
    if (wraps == m_wrapsWords) return;
    m_wrapsWords = wraps;
    updateGeometry();
    update();
}

QStringList ElidingLabel::shownLines(int width) const
{
    const QFontMetrics metrics = fontMetrics();
    if (!m_wrapsWords || metrics.horizontalAdvance(m_text) <= width)
        return {metrics.elidedText(m_text, m_elideMode, width)};
    // Each line takes as many words as fit; a space that breaks the line
    // goes with the break.
    QStringList lines;
    QString line;
    bool first = true;
    for (const QString& word : m_text.split(QLatin1Char(' '))) {
        const QString longer = first ? word : line + QLatin1Char(' ') + word;
        if (first || metrics.horizontalAdvance(longer) <= width) {
            line = longer;
            first = false;
            continue;
        }
        lines << metrics.elidedText(line, m_elideMode, width);
        line = word;
    }
    lines << metrics.elidedText(line, m_elideMode, width);
    return lines;
}

QString ElidingLabel::shownText() const
{
    return shownLines(contentsRect().width()).join(QLatin1Char(' '));
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

bool ElidingLabel::hasHeightForWidth() const
{
    return m_wrapsWords;
}

int ElidingLabel::heightForWidth(int width) const
{
    if (!m_wrapsWords) return QWidget::heightForWidth(width);
    const QMargins margins = contentsMargins();
    const QFontMetrics metrics = fontMetrics();
    const auto lines = int(shownLines(width - margins.left() - margins.right()).size());
    return metrics.height() + (lines - 1) * metrics.lineSpacing() + margins.top() +
           margins.bottom();
}

void ElidingLabel::paintEvent(QPaintEvent*)
{
    QPainter painter(this);
    painter.setPen(m_color.value_or(palette().color(QPalette::WindowText)));
    painter.setFont(font());
    const QRect room = contentsRect();
    const QStringList lines = shownLines(room.width());
    if (lines.size() == 1) {
        painter.drawText(room, int(m_alignment) | Qt::TextSingleLine, lines.first());
        return;
    }
    const QFontMetrics metrics = fontMetrics();
    const int height = metrics.height() + int(lines.size() - 1) * metrics.lineSpacing();
    const Qt::Alignment across = m_alignment & Qt::AlignHorizontal_Mask;
    QRect line = QStyle::alignedRect(layoutDirection(), (m_alignment & Qt::AlignVertical_Mask),
                                     QSize(room.width(), height), room);
    line.setHeight(metrics.height());
    for (const QString& text : lines) {
        painter.drawText(line, int(across | Qt::AlignTop) | Qt::TextSingleLine, text);
        line.translate(0, metrics.lineSpacing());
    }
}

void ElidingLabel::changeEvent(QEvent* event)
{
    if (event->type() == QEvent::FontChange) updateGeometry();
    QWidget::changeEvent(event);
}

} // namespace ovra
