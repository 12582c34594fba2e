#pragma once

#include "services/TextRecognizer.h"

#include <QList>
#include <QPointF>
#include <QString>

#include <optional>

namespace ovra {

// The words found in a picture and the run of them the user has selected. Words
// keep the recogniser's reading order; a selection is every word from where a
// drag began to where it is now, in that order, whichever way the drag went.
// Positions are in the picture's pixels.
class TextSelection {
public:
    TextSelection() = default;
    explicit TextSelection(QList<TextRecognizer::RecognizedWord> words);

    const QList<TextRecognizer::RecognizedWord>& words() const { return m_words; }
    bool hasText() const { return !m_words.isEmpty(); }

    // The word whose box holds the point; none between words.
    std::optional<int> wordAt(const QPointF& point) const;
    // The word a drag at the point means: the one under it, else the nearest.
    std::optional<int> nearestWord(const QPointF& point) const;

    // A drag: starts at one point, then follows the pointer.
    void begin(const QPointF& point);
    void extend(const QPointF& point);
    void selectAll();
    void clear();

    bool isSelected(int word) const;
    bool hasSelection() const { return m_anchor.has_value(); }
    // The selected words as text: words of a line joined by a blank, lines by
    // a line break.
    QString selectedText() const;

private:
    QList<TextRecognizer::RecognizedWord> m_words;
    std::optional<int> m_anchor;
    int m_focus = 0;
};

} // namespace ovra
