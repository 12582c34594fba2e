#include "Attribute.h"

#include <array>

namespace ovra::md {
namespace {

struct AttrInfo {
    const char16_t* name;
    AttrKind kind;
};

constexpr std::array<AttrInfo, static_cast<std::size_t>(Attr::Count_)> kAttrs{{
    {u"kMDItemPath", AttrKind::Text},
    {u"kMDItemFSName", AttrKind::Text},
    {u"kMDItemDisplayName", AttrKind::Text},
    {u"kMDItemFSSize", AttrKind::Number},
    {u"kMDItemFSContentChangeDate", AttrKind::Date},
    {u"kMDItemFSCreationDate", AttrKind::Date},
    {u"kMDItemContentCreationDate", AttrKind::Date},
    {u"kMDItemContentModificationDate", AttrKind::Date},
    {u"kMDItemContentType", AttrKind::Text},
    {u"kMDItemContentTypeTree", AttrKind::TextList},
    {u"kMDItemLastUsedDate", AttrKind::Date},
    {u"kMDItemIsScreenCapture", AttrKind::Number},
    {u"kMDItemWhereFroms", AttrKind::TextList},
    {u"kMDItemPixelWidth", AttrKind::Number},
    {u"kMDItemPixelHeight", AttrKind::Number},
    {u"kMDItemDurationSeconds", AttrKind::Number},
    {u"kMDItemTitle", AttrKind::Text},
    {u"kMDItemAuthors", AttrKind::TextList},
    {u"kMDItemAlbum", AttrKind::Text},
    {u"kMDItemMusicalGenre", AttrKind::Text},
    {u"kMDItemCodecs", AttrKind::TextList},
    {u"kMDItemNumberOfPages", AttrKind::Number},
    {u"kMDItemAcquisitionMake", AttrKind::Text},
    {u"kMDItemAcquisitionModel", AttrKind::Text},
    {u"kMDItemTextContent", AttrKind::Text},
}};

} // namespace

std::optional<Attr> attrNamed(QStringView name)
{
    for (std::size_t i = 0; i < kAttrs.size(); ++i)
        if (name == QStringView(kAttrs[i].name)) return static_cast<Attr>(i);
    return std::nullopt;
}

QString attrName(Attr attr)
{
    return QString::fromUtf16(kAttrs[static_cast<std::size_t>(attr)].name);
}

AttrKind attrKind(Attr attr)
{
    return kAttrs[static_cast<std::size_t>(attr)].kind;
}

} // namespace ovra::md
