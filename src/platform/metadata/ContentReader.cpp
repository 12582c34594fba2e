#include "ContentAttributes.h"

#include "../UserFile.h"
#include "ByteSource.h"
#include "ImageHeaderReader.h"
#include "MediaReader.h"
#include "PdfReader.h"

namespace ovra::md {

namespace {

bool isMedia(const UniformType& type)
{
    return type.conforms(UniformType::audio()) || type.conforms(UniformType::movie()) ||
           type.conforms(UniformType::video());
}

} // namespace

bool ContentReader::needsRead(const UniformType& type)
{
    return type.conforms(UniformType::image()) || isMedia(type) ||
           type.conforms(UniformType::pdf());
}

ContentAttributes ContentReader::read(const QString& path, const UniformType& type)
{
    ContentAttributes attributes;
    if (!needsRead(type)) return attributes;
    const auto file = UserFile::open(path);
    if (!file) return attributes;
    // The libraries below can run out of memory on a hostile file; what was read
    // by then is still worth keeping.
    try {
        if (type.conforms(UniformType::image())) {
            ImageHeaderReader::read(FileByteSource(*file), attributes);
        } else if (isMedia(type)) {
            MediaReader::read(*file, path, attributes);
        } else if (type.conforms(UniformType::pdf())) {
            PdfReader::read(*file, attributes);
        }
    } catch (...) {
    }
    return attributes;
}

} // namespace ovra::md
