#pragma once

#include <QString>

#include <optional>

namespace ovra::md {

class ByteSource;

// What we take from a TIFF structure: a TIFF file itself, or the EXIF block that
// JPEG, WebP and others embed (which is a TIFF structure too).
struct TiffFields {
    std::optional<int> imageWidth;  // IFD0 ImageWidth (TIFF files; not EXIF blocks)
    std::optional<int> imageHeight; // IFD0 ImageLength
    std::optional<QString> make;
    std::optional<QString> model;
    // DateTimeOriginal, seconds since 1970: in its OffsetTimeOriginal when the
    // camera wrote one, else local time (what cameras without one mean).
    std::optional<double> dateTimeOriginal;
};

namespace ExifReader {

// Reads a TIFF structure starting at offset 0 of `source` (the byte-order mark
// "II" or "MM"). Follows IFD0 and its EXIF sub-IFD only, so offsets that point
// back into themselves cannot make it loop.
TiffFields readTiff(const ByteSource& source);

// Parses EXIF's "YYYY:MM:DD HH:MM:SS" with an optional "+HH:MM" offset;
// nothing for the blank or zero dates cameras write when their clock is unset.
std::optional<double> parseExifDateTime(const QString& dateTime, const QString& offset);

} // namespace ExifReader

} // namespace ovra::md
