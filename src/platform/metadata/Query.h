#pragma once

#include "ItemAttributes.h"

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <cstdint>
#include <functional>
#include <memory>

namespace ovra::md {

struct QueryNode; // the compiled expression; private to the query engine (QueryNode.h)

// A parsed metadata query string, e.g.
//   (kMDItemContentTypeTree == 'public.image') && kMDItemFSContentChangeDate >= $time.today(-7)
// The grammar: comparisons (==, !=, <, >, <=, >=) of an attribute with a quoted
// string (single or double quotes; "*" wildcards; trailing modifiers c, d, w;
// backslash escapes), a number, a bare "*", $time.today(N), $time.now(N),
// $time.iso(...); joined by &&, || and ! with parentheses. A string that does
// not parse gives an invalid query, which matches nothing. Dates in the string
// are resolved once, at parse time, against `now` in its time zone.
//
// Missing attributes: `attr == *` is true when the attribute is present,
// `attr != *` when it is absent, `attr != value` is true when absent, every other
// comparison is false when absent. A list attribute matches when any element does.
// Immutable once parsed: `matches` may run on many threads at once.
class Query {
public:
    Query(); // invalid
    static Query parse(QStringView text, const QDateTime& now = QDateTime::currentDateTime());

    bool isValid() const { return m_root != nullptr; }
    // Why the text did not parse, with the offset of the fault; empty when valid.
    QString errorString() const { return m_error; }
    QString text() const { return m_text; }

    bool matches(const ItemAttributes& item) const;

    // Every pattern compared with kMDItemTextContent, so the caller can look the
    // words up once before evaluating (the index answers them per file).
    void forEachTextContentPattern(const std::function<void(const TextPattern&)>& visit) const;

    // Bit (1 << Attr) for every attribute the query reads.
    std::uint64_t referencedAttributes() const { return m_attributes; }

private:
    std::shared_ptr<const QueryNode> m_root;
    QString m_text;
    QString m_error;
    std::uint64_t m_attributes = 0;
};

} // namespace ovra::md
