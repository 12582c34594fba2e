#include "QueryNode.h"

#include <charconv>
#include <cmath>

namespace ovra::md {
namespace {

template <typename T> bool ordered(CompareOp op, T a, T b)
{
    switch (op) {
    case CompareOp::Equal:
    case CompareOp::NotEqual: return a == b; // "!=" negates the whole answer afterwards
    case CompareOp::Less: return a < b;
    case CompareOp::Greater: return a > b;
    case CompareOp::LessEqual: return a <= b;
    case CompareOp::GreaterEqual: return a >= b;
    }
    return false;
}

std::optional<double> numberInText(std::string_view text)
{
    double value = 0;
    const char* end = text.data() + text.size();
    const auto [ptr, ec] = std::from_chars(text.data(), end, value);
    if (ec != std::errc() || ptr != end || !std::isfinite(value)) return std::nullopt;
    return value;
}

} // namespace

// "!=" is the negation of "==" (so an absent attribute satisfies it, and a list
// satisfies it when no element equals); every other comparison holds when some
// value of the attribute satisfies it.
bool Comparison::evaluate(const ItemAttributes& item) const
{
    const bool negate = op == CompareOp::NotEqual;
    if (!attr) return negate;

    if (operand == Operand::ConformsTo) return item.contentType().conforms(type) != negate;

    bool present = false;
    bool holds = false;
    switch (kind) {
    case AttrKind::Number:
    case AttrKind::Date: {
        double value = 0;
        present = item.number(*attr, value);
        holds = present && holdsForNumber(value);
        break;
    }
    case AttrKind::Text:
        if (*attr == Attr::TextContent) {
            // Word content is asked of the content index, which knows only
            // matching; a file has text content when some word matches "*".
            const bool asks = operand == Operand::AnyValue ||
                              (operand == Operand::Text && (op == CompareOp::Equal || negate));
            const auto answer = asks ? item.textContentMatches(pattern) : std::nullopt;
            present = operand == Operand::AnyValue ? answer.value_or(false) : answer.has_value();
            holds = answer.value_or(false);
        } else {
            std::string_view value;
            present = item.text(*attr, value);
            holds = present && holdsForText(value);
        }
        break;
    case AttrKind::TextList:
        holds = item.anyText(
            *attr, [this](std::string_view value) { return holdsForText(value); }, present);
        break;
    }
    if (!present) return negate;
    if (operand == Operand::AnyValue) return !negate; // a list may be present and empty
    return holds != negate;
}

bool Comparison::holdsForText(std::string_view value) const
{
    switch (operand) {
    case Operand::AnyValue: return true;
    case Operand::Text:
        if (op == CompareOp::Equal || op == CompareOp::NotEqual) return pattern.matches(value);
        return ordered(op, pattern.compare(value), 0);
    case Operand::Number: {
        const auto n = numberInText(value);
        return n && ordered(op, *n, number);
    }
    case Operand::ConformsTo: break;
    }
    return false;
}

bool Comparison::holdsForNumber(double value) const
{
    switch (operand) {
    case Operand::AnyValue: return true;
    case Operand::Number: return ordered(op, value, number);
    case Operand::Text: // a quoted text that is no number equals no number
    case Operand::ConformsTo: break;
    }
    return false;
}

bool QueryNode::evaluate(const ItemAttributes& item) const
{
    switch (kind) {
    case Kind::All:
        for (const QueryNode& child : children)
            if (!child.evaluate(item)) return false;
        return true;
    case Kind::Any:
        for (const QueryNode& child : children)
            if (child.evaluate(item)) return true;
        return false;
    case Kind::Not: return !children.front().evaluate(item);
    case Kind::Compare: return comparison.evaluate(item);
    }
    return false;
}

} // namespace ovra::md
