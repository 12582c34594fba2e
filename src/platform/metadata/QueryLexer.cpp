#include "QueryLexer.h"

#include "TextPattern.h"

namespace ovra::md {
namespace {

using Type = QueryToken::Type;

bool isAsciiLetter(QChar c)
{
    return (c >= u'a' && c <= u'z') || (c >= u'A' && c <= u'Z');
}
bool isDigit(QChar c)
{
    return c >= u'0' && c <= u'9';
}
bool isIdentifierStart(QChar c)
{
    return isAsciiLetter(c) || c == u'_';
}
bool isIdentifierChar(QChar c)
{
    return isIdentifierStart(c) || isDigit(c);
}

} // namespace

QueryToken QueryLexer::make(Type type, qsizetype start, qsizetype length)
{
    QueryToken token;
    token.type = type;
    token.offset = start;
    token.text = m_text.mid(start, length);
    m_pos = start + length;
    return token;
}

QueryToken QueryLexer::error(qsizetype offset, const QString& message)
{
    QueryToken token;
    token.type = Type::Error;
    token.offset = offset;
    token.error = message;
    return token;
}

QueryToken QueryLexer::next()
{
    while (m_pos < m_text.size() && m_text.at(m_pos).isSpace())
        ++m_pos;
    const qsizetype start = m_pos;
    if (start >= m_text.size()) return make(Type::End, start, 0);

    const QChar c = m_text.at(start);
    const QChar following = start + 1 < m_text.size() ? m_text.at(start + 1) : QChar();
    switch (c.unicode()) {
    case u'(': return make(Type::LeftParen, start, 1);
    case u')': return make(Type::RightParen, start, 1);
    case u'*': return make(Type::Star, start, 1);
    case u'\'':
    case u'"': return lexString(start);
    case u'$': return lexTime(start);
    case u'=':
        if (following == u'=') return make(Type::Equal, start, 2);
        return error(start, QStringLiteral("a single \"=\"; comparisons use \"==\""));
    case u'!':
        if (following == u'=') return make(Type::NotEqual, start, 2);
        return make(Type::Not, start, 1);
    case u'<':
        if (following == u'=') return make(Type::LessEqual, start, 2);
        return make(Type::Less, start, 1);
    case u'>':
        if (following == u'=') return make(Type::GreaterEqual, start, 2);
        return make(Type::Greater, start, 1);
    case u'&':
        if (following == u'&') return make(Type::And, start, 2);
        return error(start, QStringLiteral("a single \"&\"; use \"&&\""));
    case u'|':
        if (following == u'|') return make(Type::Or, start, 2);
        return error(start, QStringLiteral("a single \"|\"; use \"||\""));
    default: break;
    }
    if (isDigit(c) || (c == u'-' && isDigit(following))) return lexNumber(start);
    if (isIdentifierStart(c)) return lexIdentifier(start);
    return error(start, QStringLiteral("unexpected character \"%1\"").arg(c));
}

QueryToken QueryLexer::lexString(qsizetype start)
{
    const QChar quote = m_text.at(start);
    QueryToken token;
    token.type = Type::String;
    token.offset = start;
    QString piece;
    qsizetype i = start + 1;
    for (;; ++i) {
        if (i >= m_text.size()) return error(start, QStringLiteral("unterminated string"));
        const QChar c = m_text.at(i);
        if (c == quote) break;
        if (c == u'*') {
            token.pieces.append(piece);
            piece.clear();
        } else if (c == u'\\') {
            if (++i >= m_text.size()) return error(start, QStringLiteral("unterminated string"));
            const QChar escaped = m_text.at(i);
            if (escaped != u'\\' && escaped != u'"' && escaped != u'\'' && escaped != u'*')
                return error(i - 1, QStringLiteral("unknown escape \"\\%1\"").arg(escaped));
            piece.append(escaped);
        } else {
            piece.append(c);
        }
    }
    token.pieces.append(piece);
    ++i; // the closing quote

    // Modifier letters follow the closing quote directly.
    for (; i < m_text.size() && isIdentifierChar(m_text.at(i)); ++i) {
        switch (m_text.at(i).unicode()) {
        case u'c': token.options |= TextPattern::CaseInsensitive; break;
        case u'd': token.options |= TextPattern::DiacriticInsensitive; break;
        case u'w': token.options |= TextPattern::WordBased; break;
        default:
            return error(i, QStringLiteral("unknown string modifier \"%1\"").arg(m_text.at(i)));
        }
    }
    token.text = m_text.mid(start, i - start);
    m_pos = i;
    return token;
}

QueryToken QueryLexer::lexNumber(qsizetype start)
{
    qsizetype i = start;
    if (m_text.at(i) == u'-') ++i;
    while (i < m_text.size() && isDigit(m_text.at(i)))
        ++i;
    if (i < m_text.size() && m_text.at(i) == u'.') {
        ++i;
        if (i >= m_text.size() || !isDigit(m_text.at(i)))
            return error(start, QStringLiteral("malformed number"));
        while (i < m_text.size() && isDigit(m_text.at(i)))
            ++i;
    }
    if (i < m_text.size() && (m_text.at(i) == u'e' || m_text.at(i) == u'E')) {
        qsizetype j = i + 1;
        if (j < m_text.size() && (m_text.at(j) == u'+' || m_text.at(j) == u'-')) ++j;
        if (j < m_text.size() && isDigit(m_text.at(j))) {
            while (j < m_text.size() && isDigit(m_text.at(j)))
                ++j;
            i = j;
        }
    }
    // "100MB" or "1.2.3" is not a number followed by something else.
    if (i < m_text.size() && (isIdentifierChar(m_text.at(i)) || m_text.at(i) == u'.'))
        return error(start, QStringLiteral("malformed number"));

    QueryToken token = make(Type::Number, start, i - start);
    bool ok = false;
    token.number = token.text.toDouble(&ok);
    if (!ok || !qIsFinite(token.number)) return error(start, QStringLiteral("number out of range"));
    return token;
}

QueryToken QueryLexer::lexTime(qsizetype start)
{
    static constexpr QStringView kPrefix = u"$time.";
    if (!m_text.mid(start).startsWith(kPrefix))
        return error(start, QStringLiteral("expected \"$time.\""));
    qsizetype i = start + kPrefix.size();
    const qsizetype nameStart = i;
    while (i < m_text.size() && isIdentifierChar(m_text.at(i)))
        ++i;
    if (i == nameStart) return error(start, QStringLiteral("expected a $time function"));

    QueryToken token;
    token.type = Type::Time;
    token.offset = start;
    token.text = m_text.mid(nameStart, i - nameStart);
    if (i < m_text.size() && m_text.at(i) == u'(') {
        // The argument is raw text up to the closing parenthesis, so an ISO date
        // needs no quotes; quotes around it are allowed and dropped.
        qsizetype j = i + 1;
        while (j < m_text.size() && m_text.at(j).isSpace())
            ++j;
        if (j < m_text.size() && (m_text.at(j) == u'\'' || m_text.at(j) == u'"')) {
            const qsizetype close = m_text.indexOf(m_text.at(j), j + 1);
            if (close < 0) return error(j, QStringLiteral("unterminated string"));
            token.argument = m_text.mid(j + 1, close - j - 1);
            j = close + 1;
            while (j < m_text.size() && m_text.at(j).isSpace())
                ++j;
            if (j >= m_text.size() || m_text.at(j) != u')')
                return error(j, QStringLiteral("expected \")\" after the $time argument"));
        } else {
            const qsizetype close = m_text.indexOf(u')', i + 1);
            if (close < 0) return error(i, QStringLiteral("unbalanced parenthesis"));
            token.argument = m_text.mid(i + 1, close - i - 1).trimmed();
            j = close;
        }
        token.hasArgument = true;
        i = j + 1;
    }
    m_pos = i;
    return token;
}

QueryToken QueryLexer::lexIdentifier(qsizetype start)
{
    qsizetype i = start;
    while (i < m_text.size() && isIdentifierChar(m_text.at(i)))
        ++i;
    return make(Type::Identifier, start, i - start);
}

} // namespace ovra::md
