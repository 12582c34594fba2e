// Image headers and EXIF blocks, read from every picture in the home folder.

#include "FuzzTargets.h"

#include "platform/metadata/ByteSource.h"
#include "platform/metadata/ContentAttributes.h"
#include "platform/metadata/ExifReader.h"
#include "platform/metadata/ImageHeaderReader.h"

namespace ovra::fuzz {

void imageHeader(const std::uint8_t* data, std::size_t size)
{
    const md::MemoryByteSource source(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    md::ContentAttributes attributes;
    md::ImageHeaderReader::read(source, attributes);
}

void exif(const std::uint8_t* data, std::size_t size)
{
    const md::MemoryByteSource source(
        QByteArrayView(reinterpret_cast<const char*>(data), qsizetype(size)));
    (void)md::ExifReader::readTiff(source);
    // The date parser sees the same bytes as a date and an offset.
    const QString text = QString::fromLatin1(reinterpret_cast<const char*>(data),
                                             qsizetype(std::min<std::size_t>(size, 64)));
    (void)md::ExifReader::parseExifDateTime(text.left(19), text.mid(19, 6));
}

} // namespace ovra::fuzz
