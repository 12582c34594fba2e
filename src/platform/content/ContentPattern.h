#pragma once

#include <QRegularExpression>
#include <QString>
#include <QStringView>

namespace ovra::content {

// One kMDItemTextContent comparison compiled for the content index.
//
// The pattern is the text between the quotes of the query string, escapes intact:
// "*" matches any run of characters, "\*" is a literal asterisk, "\\" a backslash,
// "\"" a double quote. The modifiers are those of the query language: "c" ignores
// case, "d" ignores diacritics, "w" matches words (the pattern's words must be
// words of the document, in sequence, so "resume*"w is a word that begins with
// "resume"); without "w" the pattern is compared with the whole text.
//
// The index is tokenised case- and diacritic-folded, so it answers "cdw" patterns
// with wildcards only at the end of a word by itself. Every other pattern uses the
// index to find candidates (a superset) and checks each candidate's stored text.
class ContentPattern {
public:
    static ContentPattern compile(QStringView pattern, bool ignoresCase, bool ignoresDiacritics,
                                  bool isWordBased);
    // The usual search: a word equal to `term`, or beginning with it, ignoring case
    // and diacritics. `term` is literal text (no wildcards).
    static ContentPattern word(QStringView term, bool isPrefix);

    // The full-text expression that finds the candidates; empty when the index can
    // narrow nothing down and every document is a candidate.
    const QString& indexQuery() const { return m_indexQuery; }
    // True when the index's answer is exact and no stored text need be read.
    bool needsTextCheck() const { return m_needsTextCheck; }
    // False for a pattern that can match nothing (no word at all where words count).
    bool canMatch() const { return m_canMatch; }

    // The exact test on a document's text.
    bool matchesText(QStringView text) const;

private:
    QString m_indexQuery;
    bool m_needsTextCheck = false;
    bool m_canMatch = true;
    bool m_foldsDiacritics = false;
    QRegularExpression m_regex;
};

// The word characters of the index's tokenizer: letters, digits, marks and private
// use characters; everything else separates words.
bool isWordCharacter(char32_t c);

// `text` with its diacritics removed (canonical decomposition, nonspacing marks dropped).
QString withoutDiacritics(QStringView text);

// The letters that are not a base letter with a mark but that people type as two
// ("strasse" for "Straße", "oeuvre" for "œuvre"), spelled out; the words index
// sees every text and every query through this, so both spellings find each other.
QString spelledOut(QStringView text);
QByteArray spelledOut(const QByteArray& utf8);

} // namespace ovra::content
