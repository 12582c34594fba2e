#include "QueryParser.h"

#include "QueryTime.h"

namespace ovra::md {
namespace {

using Type = QueryToken::Type;

// A fault message quotes at most this much of the offending token.
constexpr qsizetype kQuotedTokenLength = 24;

std::optional<CompareOp> compareOp(Type type)
{
    switch (type) {
    case Type::Equal: return CompareOp::Equal;
    case Type::NotEqual: return CompareOp::NotEqual;
    case Type::Less: return CompareOp::Less;
    case Type::Greater: return CompareOp::Greater;
    case Type::LessEqual: return CompareOp::LessEqual;
    case Type::GreaterEqual: return CompareOp::GreaterEqual;
    default: return std::nullopt;
    }
}

bool isNumeric(Attr attr)
{
    const AttrKind kind = attrKind(attr);
    return kind == AttrKind::Number || kind == AttrKind::Date;
}

// Raises the nesting depth for the life of one "(" or "!".
class DepthGuard {
public:
    explicit DepthGuard(int& depth)
        : m_depth(depth)
    {
        ++m_depth;
    }
    ~DepthGuard() { --m_depth; }
    DepthGuard(const DepthGuard&) = delete;
    DepthGuard& operator=(const DepthGuard&) = delete;

private:
    int& m_depth;
};

} // namespace

QueryParser::QueryParser(QStringView text, const QDateTime& now)
    : m_text(text)
    , m_now(now)
    , m_lexer(text)
{
}

std::optional<QueryNode> QueryParser::parse()
{
    advance();
    if (m_token.type == Type::End) {
        fail(0, QStringLiteral("empty query"));
        return std::nullopt;
    }
    auto root = parseOr();
    if (!root) return std::nullopt;
    if (m_token.type != Type::End) {
        fail(m_token.offset,
             QStringLiteral("expected \"&&\", \"||\" or the end, found %1").arg(describeCurrent()));
        return std::nullopt;
    }
    return root;
}

void QueryParser::advance()
{
    m_token = m_lexer.next();
    if (m_token.type == Type::Error) fail(m_token.offset, m_token.error);
}

bool QueryParser::fail(qsizetype offset, const QString& message)
{
    // The first fault is the one worth reporting; what follows is its echo.
    if (m_error.isEmpty())
        m_error = QStringLiteral("%1 (at offset %2)").arg(message, QString::number(offset));
    return false;
}

QString QueryParser::describeCurrent() const
{
    if (m_token.type == Type::End) return QStringLiteral("the end of the query");
    QString text = m_token.text.left(kQuotedTokenLength).toString();
    if (m_token.text.size() > kQuotedTokenLength) text += QChar(0x2026);
    return QStringLiteral("\"%1\"").arg(text);
}

std::optional<QueryNode> QueryParser::parseOr()
{
    auto first = parseAnd();
    if (!first || m_token.type != Type::Or) return first;
    QueryNode node;
    node.kind = QueryNode::Kind::Any;
    node.children.push_back(std::move(*first));
    while (m_token.type == Type::Or) {
        advance();
        auto next = parseAnd();
        if (!next) return std::nullopt;
        node.children.push_back(std::move(*next));
    }
    return node;
}

std::optional<QueryNode> QueryParser::parseAnd()
{
    auto first = parseUnary();
    if (!first || m_token.type != Type::And) return first;
    QueryNode node;
    node.kind = QueryNode::Kind::All;
    node.children.push_back(std::move(*first));
    while (m_token.type == Type::And) {
        advance();
        auto next = parseUnary();
        if (!next) return std::nullopt;
        node.children.push_back(std::move(*next));
    }
    return node;
}

std::optional<QueryNode> QueryParser::parseUnary()
{
    if (!m_error.isEmpty()) return std::nullopt;
    const qsizetype offset = m_token.offset;
    switch (m_token.type) {
    case Type::Not: {
        DepthGuard guard(m_depth);
        if (m_depth > kMaxDepth) {
            fail(offset, QStringLiteral("nested too deeply"));
            return std::nullopt;
        }
        advance();
        auto operand = parseUnary();
        if (!operand) return std::nullopt;
        QueryNode node;
        node.kind = QueryNode::Kind::Not;
        node.children.push_back(std::move(*operand));
        return node;
    }
    case Type::LeftParen: {
        DepthGuard guard(m_depth);
        if (m_depth > kMaxDepth) {
            fail(offset, QStringLiteral("nested too deeply"));
            return std::nullopt;
        }
        advance();
        auto inner = parseOr();
        if (!inner) return std::nullopt;
        if (m_token.type != Type::RightParen) {
            fail(m_token.offset, QStringLiteral("expected \")\" to close the \"(\" at offset %1, "
                                                "found %2")
                                     .arg(QString::number(offset), describeCurrent()));
            return std::nullopt;
        }
        advance();
        return inner;
    }
    case Type::Identifier: return parseComparison();
    default:
        fail(offset, QStringLiteral("expected a comparison, found %1").arg(describeCurrent()));
        return std::nullopt;
    }
}

std::optional<QueryNode> QueryParser::parseComparison()
{
    QueryNode node;
    Comparison& comparison = node.comparison;
    const QStringView name = m_token.text;
    comparison.attr = attrNamed(name);
    if (comparison.attr) comparison.kind = attrKind(*comparison.attr);
    if (comparison.attr) m_attributes |= std::uint64_t(1) << static_cast<int>(*comparison.attr);
    advance();

    const auto op = compareOp(m_token.type);
    if (!op) {
        fail(m_token.offset, QStringLiteral("expected a comparison operator after %1, found %2")
                                 .arg(name, describeCurrent()));
        return std::nullopt;
    }
    comparison.op = *op;
    advance();

    const QueryToken& value = m_token;
    switch (value.type) {
    case Type::Star:
        if (*op != CompareOp::Equal && *op != CompareOp::NotEqual) {
            fail(value.offset, QStringLiteral("\"*\" compares only with \"==\" or \"!=\""));
            return std::nullopt;
        }
        comparison.operand = Comparison::Operand::AnyValue;
        comparison.pattern = TextPattern::anything();
        break;
    case Type::String:
        comparison.operand = Comparison::Operand::Text;
        comparison.pattern = TextPattern(value.pieces, value.options);
        break;
    case Type::Number:
        comparison.operand = Comparison::Operand::Number;
        comparison.number = value.number;
        break;
    case Type::Time: {
        QString error;
        const auto t = resolveTime(value.text, value.hasArgument, value.argument, m_now, error);
        if (!t) {
            fail(value.offset, error);
            return std::nullopt;
        }
        comparison.operand = Comparison::Operand::Number;
        comparison.number = *t;
        break;
    }
    default:
        fail(
            value.offset,
            QStringLiteral("expected a value after the operator, found %1").arg(describeCurrent()));
        return std::nullopt;
    }
    resolveOperand(comparison);
    advance();
    return node;
}

// Settles what a quoted value means for its attribute, once, so evaluation does
// not have to.
void QueryParser::resolveOperand(Comparison& comparison)
{
    if (!comparison.attr || comparison.operand != Comparison::Operand::Text) return;
    const TextPattern& pattern = comparison.pattern;
    const Attr attr = *comparison.attr;

    if (isNumeric(attr) && !pattern.hasWildcard()) {
        bool ok = false;
        const double number = pattern.literal().toDouble(&ok);
        if (ok && qIsFinite(number)) {
            comparison.operand = Comparison::Operand::Number;
            comparison.number = number;
        }
        return;
    }

    // The type tree of a file is its type and every type that type conforms to,
    // so asking for one identifier is a conformance test: one bit test instead of
    // walking texts. An identifier the type table does not know stays a text match.
    const bool isEquality =
        comparison.op == CompareOp::Equal || comparison.op == CompareOp::NotEqual;
    if (attr == Attr::ContentTypeTree && isEquality && !pattern.hasWildcard() &&
        pattern.options() == 0) {
        if (const auto type = UniformType::withIdentifier(pattern.literal())) {
            comparison.operand = Comparison::Operand::ConformsTo;
            comparison.type = *type;
        }
    }
}

} // namespace ovra::md
