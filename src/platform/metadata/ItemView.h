#pragma once

#include "Item.h"
#include "ItemAttributes.h"

#include <QByteArray>

#include <array>
#include <vector>

namespace ovra::md {

// A plain `Item` as a query sees it, so one file can be tested against a query.
// Every attribute reads as `Item::value` gives it; the content type is the
// uniform type of the item's identifier (invalid when unknown). The view copies
// what it needs: the item may go away afterwards.
class ItemView final : public ItemAttributes {
public:
    explicit ItemView(const Item& item);

    bool number(Attr attr, double& out) const override;
    // For a list attribute: its first element.
    bool text(Attr attr, std::string_view& out) const override;
    bool anyText(Attr attr, const std::function<bool(std::string_view)>& visit,
                 bool& present) const override;
    UniformType contentType() const override { return m_contentType; }

private:
    struct Value {
        bool isPresent = false;
        bool isNumber = false;
        double number = 0;
        std::vector<QByteArray> texts; // UTF-8
    };

    const Value& value(Attr attr) const { return m_values[static_cast<std::size_t>(attr)]; }

    std::array<Value, static_cast<std::size_t>(Attr::Count_)> m_values;
    UniformType m_contentType;
};

} // namespace ovra::md
