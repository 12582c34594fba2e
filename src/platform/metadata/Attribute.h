#pragma once

#include <QString>
#include <QStringView>

#include <cstdint>
#include <optional>

namespace ovra::md {

// The metadata attributes the index knows. A query naming any other attribute
// parses, and the attribute is simply missing on every file.
enum class Attr : std::uint8_t {
    Path,                    // kMDItemPath: text
    FSName,                  // kMDItemFSName: text
    DisplayName,             // kMDItemDisplayName: text
    FSSize,                  // kMDItemFSSize: number (bytes)
    FSContentChangeDate,     // kMDItemFSContentChangeDate: date
    FSCreationDate,          // kMDItemFSCreationDate: date
    ContentCreationDate,     // kMDItemContentCreationDate: date
    ContentModificationDate, // kMDItemContentModificationDate: date
    ContentType,             // kMDItemContentType: text
    ContentTypeTree,         // kMDItemContentTypeTree: list of texts
    LastUsedDate,            // kMDItemLastUsedDate: date
    IsScreenCapture,         // kMDItemIsScreenCapture: number (1 when true, absent otherwise)
    WhereFroms,              // kMDItemWhereFroms: list of texts
    PixelWidth,              // kMDItemPixelWidth: number
    PixelHeight,             // kMDItemPixelHeight: number
    DurationSeconds,         // kMDItemDurationSeconds: number
    Title,                   // kMDItemTitle: text
    Authors,                 // kMDItemAuthors: list of texts
    Album,                   // kMDItemAlbum: text
    MusicalGenre,            // kMDItemMusicalGenre: text
    Codecs,                  // kMDItemCodecs: list of texts
    NumberOfPages,           // kMDItemNumberOfPages: number
    AcquisitionMake,         // kMDItemAcquisitionMake: text
    AcquisitionModel,        // kMDItemAcquisitionModel: text
    TextContent,             // kMDItemTextContent: words inside documents
    Count_
};

enum class AttrKind : std::uint8_t { Text, TextList, Number, Date };

std::optional<Attr> attrNamed(QStringView name);
QString attrName(Attr attr);
AttrKind attrKind(Attr attr);

} // namespace ovra::md
