// Temporary: a few identifiers and their conformance, only so this test program
// links while the real UniformType is built elsewhere. It compiles to nothing as
// soon as src/platform/UniformType.cpp exists; delete it then.
#if !__has_include(<platform/UniformType.cpp>)

#include "platform/UniformType.h"

#include <array>

namespace ovra {
namespace {

struct StubType {
    const char16_t* identifier;
    std::uint16_t parents[2]; // ids (1-based); 0 for none
};

constexpr std::array<StubType, 9> kTypes{{
    {u"public.item", {0, 0}},                  // 1
    {u"public.content", {1, 0}},               // 2
    {u"public.data", {1, 0}},                  // 3
    {u"public.image", {3, 2}},                 // 4
    {u"public.png", {4, 0}},                   // 5
    {u"public.audiovisual-content", {3, 2}},   // 6
    {u"public.movie", {6, 0}},                 // 7
    {u"public.mpeg-4", {7, 0}},                // 8
    {u"com.apple.application-bundle", {1, 0}}, // 9
}};

} // namespace

std::optional<UniformType> UniformType::withIdentifier(QStringView identifier)
{
    for (std::size_t i = 0; i < kTypes.size(); ++i)
        if (identifier == QStringView(kTypes[i].identifier))
            return UniformType(static_cast<std::uint16_t>(i + 1));
    return std::nullopt;
}

bool UniformType::conforms(const UniformType& other) const
{
    if (!isValid() || !other.isValid()) return false;
    if (m_id == other.m_id) return true;
    for (const std::uint16_t parent : kTypes[m_id - 1].parents)
        if (parent != 0 && UniformType(parent).conforms(other)) return true;
    return false;
}

} // namespace ovra

#endif
