#pragma once

#include "../UniformType.h"
#include "Attribute.h"

#include <functional>
#include <optional>
#include <string_view>

namespace ovra::md {

class TextPattern;

// What a query sees of one file while it is evaluated. The index implements it
// over its compact table (texts are UTF-8 views into its storage, valid for the
// call), and `ItemView` (below) over a plain `Item`. Implementations must be
// callable from several threads at once for different files.
class ItemAttributes {
public:
    virtual ~ItemAttributes() = default;

    // Numbers and dates (seconds since 1970); false when the file lacks the attribute.
    virtual bool number(Attr attr, double& out) const = 0;
    // A single text attribute as UTF-8; false when absent.
    virtual bool text(Attr attr, std::string_view& out) const = 0;
    // Each element of a list attribute (a single text counts as a one-element
    // list), until `visit` returns true. Returns whether `visit` returned true;
    // `present` tells whether the attribute exists at all.
    virtual bool anyText(Attr attr, const std::function<bool(std::string_view)>& visit,
                         bool& present) const = 0;
    // The file's type, so "kMDItemContentTypeTree == 'public.image'" is one bit test.
    virtual UniformType contentType() const = 0;
    // The words inside the file's documents (kMDItemTextContent): whether one of
    // them matches `pattern`, or nothing when the file's words are not known, which
    // a query treats as the attribute being absent. A bare "*" in the query comes
    // here as a pattern that every word matches. Nothing is known by default.
    virtual std::optional<bool> textContentMatches(const TextPattern& pattern) const
    {
        (void)pattern;
        return std::nullopt;
    }
};

} // namespace ovra::md
