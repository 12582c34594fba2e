#pragma once

#include <QString>
#include <QStringList>
#include <QStringView>

#include <cstdint>

namespace ovra::md {

struct QueryToken {
    enum class Type : std::uint8_t {
        End,
        Error,      // `error` says why, `offset` where
        Identifier, // an attribute name
        String,     // `pieces` and `options`
        Number,     // `number`
        Star,       // a bare "*": any value
        Time,       // $time.<text>, with `argument` when it had parentheses
        Equal,
        NotEqual,
        Less,
        Greater,
        LessEqual,
        GreaterEqual,
        And,
        Or,
        Not,
        LeftParen,
        RightParen,
    };

    Type type = Type::End;
    qsizetype offset = 0;
    QStringView text;         // the token as written (Time: the function name)
    QStringList pieces;       // String: literal runs between unescaped wildcards
    std::uint8_t options = 0; // String: TextPattern options from its modifiers
    double number = 0;
    bool hasArgument = false; // Time
    QStringView argument;     // Time: the text between the parentheses, unquoted
    QString error;
};

// Splits a query string into tokens, one at a time and in one pass.
class QueryLexer {
public:
    explicit QueryLexer(QStringView text)
        : m_text(text)
    {
    }
    QueryToken next();

private:
    QueryToken lexString(qsizetype start);
    QueryToken lexNumber(qsizetype start);
    QueryToken lexTime(qsizetype start);
    QueryToken lexIdentifier(qsizetype start);
    QueryToken make(QueryToken::Type type, qsizetype start, qsizetype length);
    static QueryToken error(qsizetype offset, const QString& message);

    QStringView m_text;
    qsizetype m_pos = 0;
};

} // namespace ovra::md
