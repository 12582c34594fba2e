#include "Query.h"

#include "QueryNode.h"
#include "QueryParser.h"

namespace ovra::md {

Query::Query() = default;

Query Query::parse(QStringView text, const QDateTime& now)
{
    Query query;
    query.m_text = text.toString();
    QueryParser parser(text, now);
    auto root = parser.parse();
    if (!root) {
        query.m_error = parser.error();
        return query;
    }
    query.m_root = std::make_shared<const QueryNode>(std::move(*root));
    query.m_attributes = parser.attributes();
    return query;
}

bool Query::matches(const ItemAttributes& item) const
{
    return m_root && m_root->evaluate(item);
}

namespace {
void visitTextContent(const QueryNode& node, const std::function<void(const TextPattern&)>& visit)
{
    if (node.kind == QueryNode::Kind::Compare) {
        if (node.comparison.attr == Attr::TextContent) visit(node.comparison.pattern);
        return;
    }
    for (const QueryNode& child : node.children)
        visitTextContent(child, visit);
}
} // namespace

void Query::forEachTextContentPattern(const std::function<void(const TextPattern&)>& visit) const
{
    if (m_root) visitTextContent(*m_root, visit);
}

} // namespace ovra::md
