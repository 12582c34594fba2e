#include "ContentAttributes.h"

#include "../UserFile.h"
#include "../content/ExtractHelper.h"
#include "AttributeCache.h"
#include "ByteSource.h"
#include "ImageHeaderReader.h"

#include <QDataStream>

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
    return type.conforms(UniformType::image()) || readsInHelper(type);
}

bool ContentReader::readsInHelper(const UniformType& type)
{
    return isMedia(type) || type.conforms(UniformType::pdf());
}

std::vector<std::optional<ContentReader::HelperRead>>
ContentReader::readInHelper(const std::vector<FileToRead>& files, content::HelperPool& helpers,
                            const std::atomic_bool* cancelled)
{
    using content::protocol::AttributeKind;
    std::vector<QByteArray> requests;
    requests.reserve(files.size());
    for (const FileToRead& file : files) {
        const AttributeKind kind = isMedia(file.type) ? AttributeKind::Media : AttributeKind::Pdf;
        requests.push_back(content::ExtractHelper::file(std::uint8_t(kind), file.path));
    }
    // Each reply is taken in as it comes, so a batch holds only what it read.
    std::vector<std::optional<HelperRead>> read(files.size());
    helpers.ask(content::protocol::RequestKind::Attributes, requests, cancelled,
                [&](std::size_t i, const content::HelperReply& reply) {
                    HelperRead& one = read[i].emplace();
                    if (reply.status != content::HelperReply::Status::Answered ||
                        reply.outcome != content::ExtractedText::Outcome::Text)
                        return;
                    QDataStream in(reply.bytes);
                    AttributeCache::readContent(in, one.attributes);
                    if (in.status() != QDataStream::Ok) one.attributes = {};
                    one.isCutShort = reply.flag;
                });
    return read;
}

ContentAttributes ContentReader::read(const QString& path, const UniformType& type)
{
    ContentAttributes attributes;
    if (readsInHelper(type))
        return readInHelper({{path, type}}, content::HelperPool::shared(), nullptr)
            .front()
            .value_or(HelperRead{})
            .attributes;
    if (!type.conforms(UniformType::image())) return attributes;
    const auto file = UserFile::open(path);
    if (!file) return attributes;
    // A hostile header can ask for more memory than there is; what was read by
    // then is still worth keeping.
    try {
        ImageHeaderReader::read(FileByteSource(*file), attributes);
    } catch (...) {
    }
    return attributes;
}

} // namespace ovra::md
