#pragma once

#include "QueryLexer.h"
#include "QueryNode.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ovra::md {

// The grammar, by recursive descent:
//   query      := or End
//   or         := and ("||" and)*
//   and        := unary ("&&" unary)*
//   unary      := "!" unary | "(" or ")" | comparison
//   comparison := Identifier op value
//   op         := "==" | "!=" | "<" | ">" | "<=" | ">="
//   value      := String | Number | "*" | Time
// Parentheses and "!" nest at most kMaxDepth deep, so no input can exhaust the
// stack, here or when the tree is evaluated.
class QueryParser {
public:
    static constexpr int kMaxDepth = 200;

    QueryParser(QStringView text, const QDateTime& now);

    // The compiled query, or nothing with `error()` set.
    std::optional<QueryNode> parse();
    QString error() const { return m_error; }
    std::uint64_t attributes() const { return m_attributes; }

private:
    std::optional<QueryNode> parseOr();
    std::optional<QueryNode> parseAnd();
    std::optional<QueryNode> parseUnary();
    std::optional<QueryNode> parseComparison();
    void resolveOperand(Comparison& comparison);
    void advance();
    bool fail(qsizetype offset, const QString& message);
    QString describeCurrent() const;

    QStringView m_text;
    QDateTime m_now;
    QueryLexer m_lexer;
    QueryToken m_token;
    int m_depth = 0;
    QString m_error;
    std::uint64_t m_attributes = 0;
};

} // namespace ovra::md
