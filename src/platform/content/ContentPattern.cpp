#include "ContentPattern.h"

#include <QChar>
#include <QStringList>

#include <vector>

namespace ovra::content {
namespace {

// One character of a pattern after its escapes are resolved.
struct PatternChar {
    char32_t c;
    bool isWildcard;
};

std::vector<PatternChar> unescape(QStringView pattern)
{
    std::vector<PatternChar> out;
    const QList<uint> codePoints = pattern.toUcs4();
    for (qsizetype i = 0; i < codePoints.size(); ++i) {
        const char32_t c = codePoints[i];
        if (c == U'\\' && i + 1 < codePoints.size()) {
            out.push_back({codePoints[++i], false});
        } else {
            out.push_back({c, c == U'*'});
        }
    }
    return out;
}

QString fromCodePoint(char32_t c)
{
    return QString::fromUcs4(&c, 1);
}

constexpr QLatin1StringView kWordClass{"[\\p{L}\\p{N}\\p{M}\\p{Co}]"};
constexpr QLatin1StringView kSeparatorClass{"[^\\p{L}\\p{N}\\p{M}\\p{Co}]"};

// A word of the pattern: a run of word characters, and whether a wildcard touches
// it. A word with a wildcard before it is only a word's ending, which the index
// cannot look up.
struct PatternWord {
    QString text;
    bool hasWildcardBefore = false;
    bool hasWildcardAfter = false;
};

std::vector<PatternWord> patternWords(const std::vector<PatternChar>& chars)
{
    std::vector<PatternWord> words;
    bool inWord = false;
    bool wildcardPending = false;
    for (const PatternChar& pc : chars) {
        if (pc.isWildcard) {
            if (inWord) words.back().hasWildcardAfter = true;
            inWord = false;
            wildcardPending = true;
        } else if (isWordCharacter(pc.c)) {
            if (!inWord) {
                words.push_back({QString(), wildcardPending, false});
                inWord = true;
            }
            words.back().text += fromCodePoint(pc.c);
            wildcardPending = false;
        } else {
            inWord = false;
            wildcardPending = false;
        }
    }
    return words;
}

QString quotedForIndex(const QString& word)
{
    return u'"' + QString(word).replace(u'"', QStringLiteral("\"\"")) + u'"';
}

// Word-based: the pattern's words in sequence, any separators between them, and
// a wildcard standing for the rest of a word.
QString wordRegex(const std::vector<PatternChar>& chars)
{
    QString body;
    bool separatorPending = false;
    for (const PatternChar& pc : chars) {
        if (pc.isWildcard) {
            if (separatorPending && !body.isEmpty()) body += kSeparatorClass + u'+';
            separatorPending = false;
            body += kWordClass + u'*';
        } else if (isWordCharacter(pc.c)) {
            if (separatorPending && !body.isEmpty()) body += kSeparatorClass + u'+';
            separatorPending = false;
            body += QRegularExpression::escape(fromCodePoint(pc.c));
        } else {
            separatorPending = true;
        }
    }
    return QStringLiteral("(?<!") + kWordClass + u')' + body + QStringLiteral("(?!") + kWordClass +
           u')';
}

// Whole-text: the pattern anchored at both ends, a wildcard standing for anything.
QString wholeTextRegex(const std::vector<PatternChar>& chars)
{
    QString body = QStringLiteral("\\A");
    for (const PatternChar& pc : chars)
        body +=
            pc.isWildcard ? QStringLiteral(".*") : QRegularExpression::escape(fromCodePoint(pc.c));
    return body + QStringLiteral("\\z");
}

} // namespace

bool isWordCharacter(char32_t c)
{
    switch (QChar::category(c)) {
    case QChar::Letter_Uppercase:
    case QChar::Letter_Lowercase:
    case QChar::Letter_Titlecase:
    case QChar::Letter_Modifier:
    case QChar::Letter_Other:
    case QChar::Number_DecimalDigit:
    case QChar::Number_Letter:
    case QChar::Number_Other:
    case QChar::Mark_NonSpacing:
    case QChar::Mark_SpacingCombining:
    case QChar::Mark_Enclosing:
    case QChar::Other_PrivateUse: return true;
    default: return false;
    }
}

QString withoutDiacritics(QStringView text)
{
    QString decomposed = text.toString().normalized(QString::NormalizationForm_D);
    decomposed.removeIf([](QChar ch) { return ch.category() == QChar::Mark_NonSpacing; });
    return decomposed;
}

QString spelledOut(QStringView text)
{
    QString out;
    out.reserve(text.size());
    for (const QChar ch : text) {
        switch (ch.unicode()) {
        case 0x00DF: out += QStringLiteral("ss"); break; // ß
        case 0x1E9E: out += QStringLiteral("SS"); break; // ẞ
        case 0x0153: out += QStringLiteral("oe"); break; // œ
        case 0x0152: out += QStringLiteral("OE"); break; // Œ
        case 0x00E6: out += QStringLiteral("ae"); break; // æ
        case 0x00C6: out += QStringLiteral("AE"); break; // Æ
        default: out += ch;
        }
    }
    return out;
}

QByteArray spelledOut(const QByteArray& utf8)
{
    // Every letter spelled out is two bytes in UTF-8 (C3 9F, C5 93, …): a text
    // without those lead bytes is returned as it is, without decoding it.
    bool mayHave = false;
    for (const char c : utf8) {
        const unsigned char u = static_cast<unsigned char>(c);
        if (u == 0xC3 || u == 0xC5 || u == 0xE1) {
            mayHave = true;
            break;
        }
    }
    return mayHave ? spelledOut(QString::fromUtf8(utf8)).toUtf8() : utf8;
}

ContentPattern ContentPattern::compile(QStringView pattern, bool ignoresCase,
                                       bool ignoresDiacritics, bool isWordBased)
{
    ContentPattern compiled;
    const QString spelled = ignoresDiacritics ? spelledOut(pattern) : pattern.toString();
    std::vector<PatternChar> chars = unescape(spelled);
    const std::vector<PatternWord> words = patternWords(chars);

    // What the index can look up: whole words, and words that a wildcard ends.
    QStringList terms;
    bool hasInnerWildcard = false;
    for (std::size_t i = 0; i < words.size(); ++i) {
        const PatternWord& w = words[i];
        if (w.hasWildcardBefore) {
            hasInnerWildcard = true;
            continue;
        }
        if (w.hasWildcardAfter && i + 1 < words.size()) hasInnerWildcard = true;
        terms << quotedForIndex(spelledOut(w.text)) +
                     (w.hasWildcardAfter ? QStringLiteral(" *") : QString());
    }
    bool hasWildcardOutsideWords = false;
    for (std::size_t i = 0; i < chars.size(); ++i) {
        const bool touchesWord =
            (i > 0 && !chars[i - 1].isWildcard && isWordCharacter(chars[i - 1].c));
        if (chars[i].isWildcard && !touchesWord) hasWildcardOutsideWords = true;
    }

    if (isWordBased && words.empty()) {
        compiled.m_canMatch = false;
        return compiled;
    }

    const bool isExactInIndex = ignoresCase && ignoresDiacritics && isWordBased &&
                                !hasInnerWildcard && !hasWildcardOutsideWords;
    if (isExactInIndex) {
        // The index's own tokenizer splits the phrase exactly as it split the text.
        QString phrase;
        for (const PatternChar& pc : chars) {
            if (!pc.isWildcard) phrase += fromCodePoint(pc.c);
        }
        const bool isPrefix = !words.empty() && words.back().hasWildcardAfter;
        compiled.m_indexQuery =
            quotedForIndex(spelledOut(phrase)) + (isPrefix ? QStringLiteral(" *") : QString());
        return compiled;
    }

    compiled.m_indexQuery = terms.join(QStringLiteral(" AND "));
    compiled.m_needsTextCheck = true;
    compiled.m_foldsDiacritics = ignoresDiacritics;
    if (ignoresDiacritics) {
        for (PatternChar& pc : chars) {
            if (pc.isWildcard) continue;
            const QString folded = withoutDiacritics(fromCodePoint(pc.c));
            pc.c = folded.isEmpty() ? pc.c : folded.toUcs4().value(0, pc.c);
        }
    }
    QRegularExpression::PatternOptions options = QRegularExpression::UseUnicodePropertiesOption;
    if (ignoresCase) options |= QRegularExpression::CaseInsensitiveOption;
    if (!isWordBased) options |= QRegularExpression::DotMatchesEverythingOption;
    compiled.m_regex =
        QRegularExpression(isWordBased ? wordRegex(chars) : wholeTextRegex(chars), options);
    compiled.m_regex.optimize();
    return compiled;
}

ContentPattern ContentPattern::word(QStringView term, bool isPrefix)
{
    QString escaped;
    escaped.reserve(term.size() + 2);
    for (const QChar ch : term) {
        if (ch == u'\\' || ch == u'*' || ch == u'"') escaped += u'\\';
        escaped += ch;
    }
    if (isPrefix) escaped += u'*';
    return compile(escaped, true, true, true);
}

bool ContentPattern::matchesText(QStringView text) const
{
    if (!m_canMatch) return false;
    if (!m_regex.isValid()) return false;
    if (m_foldsDiacritics) return m_regex.match(spelledOut(withoutDiacritics(text))).hasMatch();
    return m_regex.match(text).hasMatch();
}

} // namespace ovra::content
