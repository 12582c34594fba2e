#include "TextSelection.h"

#include <QStringList>

#include <algorithm>
#include <cmath>
#include <limits>

namespace ovra {

namespace {

double distance(const QRect& box, const QPointF& point)
{
    const double dx = std::max({double(box.left()) - point.x(), 0.0, point.x() - box.right()});
    const double dy = std::max({double(box.top()) - point.y(), 0.0, point.y() - box.bottom()});
    return std::hypot(dx, dy);
}

} // namespace

TextSelection::TextSelection(QList<TextRecognizer::RecognizedWord> words)
    : m_words(std::move(words))
{
}

std::optional<int> TextSelection::wordAt(const QPointF& point) const
{
    for (int i = 0; i < m_words.size(); ++i) {
        if (QRectF(m_words.at(i).box).contains(point)) return i;
    }
    return std::nullopt;
}

std::optional<int> TextSelection::nearestWord(const QPointF& point) const
{
    if (const std::optional<int> hit = wordAt(point)) return hit;
    std::optional<int> nearest;
    double best = std::numeric_limits<double>::infinity();
    for (int i = 0; i < m_words.size(); ++i) {
        const double d = distance(m_words.at(i).box, point);
        if (d < best) {
            best = d;
            nearest = i;
        }
    }
    return nearest;
}

void TextSelection::begin(const QPointF& point)
{
    m_anchor = nearestWord(point);
    if (m_anchor) m_focus = *m_anchor;
}

void TextSelection::extend(const QPointF& point)
{
    if (!m_anchor) return;
    if (const std::optional<int> word = nearestWord(point)) m_focus = *word;
}

void TextSelection::selectAll()
{
    if (m_words.isEmpty()) return;
    m_anchor = 0;
    m_focus = int(m_words.size()) - 1;
}

void TextSelection::clear()
{
    m_anchor.reset();
    m_focus = 0;
}

bool TextSelection::isSelected(int word) const
{
    if (!m_anchor) return false;
    return word >= std::min(*m_anchor, m_focus) && word <= std::max(*m_anchor, m_focus);
}

QString TextSelection::selectedText() const
{
    if (!m_anchor) return {};
    const int first = std::min(*m_anchor, m_focus);
    const int last = std::max(*m_anchor, m_focus);
    QString text;
    for (int i = first; i <= last; ++i) {
        const TextRecognizer::RecognizedWord& word = m_words.at(i);
        if (i > first) text += word.line == m_words.at(i - 1).line ? u' ' : u'\n';
        text += word.text;
    }
    return text;
}

} // namespace ovra
