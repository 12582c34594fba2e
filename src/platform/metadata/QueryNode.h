#pragma once

#include "Attribute.h"
#include "ItemAttributes.h"
#include "TextPattern.h"

#include "../UniformType.h"

#include <cstdint>
#include <optional>
#include <vector>

namespace ovra::md {

enum class CompareOp : std::uint8_t { Equal, NotEqual, Less, Greater, LessEqual, GreaterEqual };

// One `attribute OP value`, with its value resolved at parse time.
struct Comparison {
    enum class Operand : std::uint8_t {
        AnyValue,   // a bare "*"
        Number,     // a number, a $time value, or a quoted number against a numeric attribute
        Text,       // a quoted string
        ConformsTo, // kMDItemContentTypeTree == 'known.identifier': a conformance test
    };

    std::optional<Attr> attr;       // none: a name the index does not know, absent on every file
    AttrKind kind = AttrKind::Text; // attr's, looked up once rather than for every file
    CompareOp op = CompareOp::Equal;
    Operand operand = Operand::AnyValue;
    double number = 0;
    TextPattern pattern; // Text; "*" for AnyValue
    UniformType type;

    bool evaluate(const ItemAttributes& item) const;

private:
    bool holdsForText(std::string_view value) const;
    bool holdsForNumber(double value) const;
};

// The compiled expression: && and || are n-ary, so a long chain of clauses does
// not make a deep tree; depth comes only from parentheses and "!", which the
// parser caps.
struct QueryNode {
    enum class Kind : std::uint8_t { All, Any, Not, Compare };

    Kind kind = Kind::Compare;
    std::vector<QueryNode> children;
    Comparison comparison;

    bool evaluate(const ItemAttributes& item) const;
};

} // namespace ovra::md
