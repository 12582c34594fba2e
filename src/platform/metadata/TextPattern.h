#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>
#include <string>
#include <string_view>
#include <vector>

namespace ovra::md {

// The quoted string of a query comparison, compiled once at parse time: literal
// runs separated by "*" wildcards, folded by its modifiers (c: letter case,
// d: diacritics, that is non-spacing marks, w: the match begins on the first
// character of a word and ends on the last of one). Values are UTF-8 as the index stores them.
// Immutable and thread-safe.
//
// Matching is linear-ish in the value: a pattern of "*"-separated runs is matched
// by placing each run at its leftmost possible position, which never backtracks.
// A value in plain ASCII (nearly every file name) is matched on its bytes without
// allocating; any other value is decoded and folded by Unicode rules.
class TextPattern {
public:
    enum Option : std::uint8_t {
        CaseInsensitive = 1,      // c
        DiacriticInsensitive = 2, // d
        WordBased = 4,            // w
    };

    TextPattern() = default; // matches only the empty text
    // `pieces` are the literal runs between the wildcards, so n wildcards give
    // n + 1 pieces; an escaped asterisk belongs to its run as a character.
    TextPattern(const QStringList& pieces, std::uint8_t options);
    // "*": every value, including the empty one.
    static TextPattern anything();

    // Whether the whole value matches (with w: some part of it from the start
    // of a word to the end of one).
    bool matches(std::string_view utf8) const;
    // How the folded value orders against the folded literal text (wildcards
    // count as plain asterisks here): negative, zero or positive, by code point.
    int compare(std::string_view utf8) const;

    const QStringList& pieces() const { return m_pieces; }
    std::uint8_t options() const { return m_options; }
    bool hasWildcard() const { return m_pieces.size() > 1; }
    // The pattern as written, unescaped, with each wildcard as "*".
    QString literal() const { return m_pieces.join(u'*'); }

    // What both sides of a comparison become before they are compared: NFC
    // (or, with d, NFD without its non-spacing marks), then with c simple case
    // folding. Exposed so an index of words can fold them by the same rule.
    static QString fold(QStringView text, std::uint8_t options);

private:
    QStringList m_pieces{QString()};
    std::uint8_t m_options = 0;
    std::vector<std::string> m_utf8Pieces = {std::string()};
    std::vector<std::u16string> m_utf16Pieces = {std::u16string()};
    std::string m_utf8Literal;
};

} // namespace ovra::md
