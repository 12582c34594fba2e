#include "ItemView.h"

namespace ovra::md {

ItemView::ItemView(const Item& item)
{
    for (std::size_t i = 0; i < m_values.size(); ++i) {
        const QVariant v = item.value(static_cast<Attr>(i));
        Value& out = m_values[i];
        if (!v.isValid()) continue;
        out.isPresent = true;
        switch (v.typeId()) {
        case QMetaType::QStringList:
            for (const QString& s : v.toStringList())
                out.texts.push_back(s.toUtf8());
            break;
        case QMetaType::QString: out.texts.push_back(v.toString().toUtf8()); break;
        default:
            out.isNumber = true;
            out.number = v.toDouble();
            break;
        }
    }
    if (item.contentType)
        m_contentType = UniformType::withIdentifier(*item.contentType).value_or(UniformType());
}

bool ItemView::number(Attr attr, double& out) const
{
    const Value& v = value(attr);
    if (!v.isPresent || !v.isNumber) return false;
    out = v.number;
    return true;
}

bool ItemView::text(Attr attr, std::string_view& out) const
{
    const Value& v = value(attr);
    if (!v.isPresent || v.texts.empty()) return false;
    out = std::string_view(v.texts.front().constData(), std::size_t(v.texts.front().size()));
    return true;
}

bool ItemView::anyText(Attr attr, const std::function<bool(std::string_view)>& visit,
                       bool& present) const
{
    const Value& v = value(attr);
    present = v.isPresent && !v.isNumber;
    for (const QByteArray& text : v.texts)
        if (visit(std::string_view(text.constData(), std::size_t(text.size())))) return true;
    return false;
}

} // namespace ovra::md
