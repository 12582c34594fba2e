// Both ends of the pipes between the app and its extraction helpers: a helper
// may be broken or taken over by the file it reads, and the app's requests
// must not be able to upset a helper either.

#include "FuzzTargets.h"

#include "platform/content/ExtractHelper.h"
#include "platform/content/ExtractProtocol.h"
#include "platform/content/RecognizedText.h"
#include "platform/metadata/AttributeCache.h"

#include <QDataStream>

#include <cstring>

#include <sys/mman.h>
#include <unistd.h>

namespace ovra::fuzz {

namespace {

// The bytes as a file descriptor that reads like a pipe the other end wrote
// them into and then closed.
int readableBytes(const std::uint8_t* data, std::size_t size)
{
    const int fd = ::memfd_create("ovra-fuzz", MFD_CLOEXEC);
    if (fd < 0) return -1;
    if (!content::protocol::writeFully(fd, data, size) || ::lseek(fd, 0, SEEK_SET) != 0) {
        ::close(fd);
        return -1;
    }
    return fd;
}

// What the app's readers make of an answered reply of each kind.
void takeIn(content::protocol::RequestKind kind, std::uint8_t what, const QByteArray& bytes)
{
    using content::protocol::RequestKind;
    switch (kind) {
    case RequestKind::Attributes: {
        QDataStream in(bytes);
        md::ContentAttributes attributes;
        md::AttributeCache::readContent(in, attributes);
        break;
    }
    case RequestKind::Recognize:
        if (what == std::uint8_t(content::protocol::RecognitionKind::PictureWords)) {
            QDataStream in(bytes);
            QList<content::RecognizedWord> words;
            content::readWords(in, words);
            break;
        }
        [[fallthrough]];
    case RequestKind::Text:
    case RequestKind::Picture: (void)QString::fromUtf8(bytes); break;
    }
}

} // namespace

// The first bytes choose what the app asked (the kind, the kind of work and,
// for a picture, its side); the rest is what the helper answered, read reply by
// reply as the app reads it until one fails.
void extractReplies(const std::uint8_t* data, std::size_t size)
{
    using content::protocol::RequestKind;
    constexpr std::size_t kAsked = 6;
    if (size < kAsked) return;
    const auto kind = RequestKind(1 + data[0] % 4);
    QByteArray file = content::ExtractHelper::file(data[1], QStringLiteral("/fuzz/file"));
    if (kind == RequestKind::Picture) file.insert(1, reinterpret_cast<const char*>(data + 2), 4);
    const int fd = readableBytes(data + kAsked, size - kAsked);
    if (fd < 0) return;
    constexpr std::int64_t kMaxTextBytes = 1024 * 1024;
    const content::ExtractHelper::Deadline deadline(-1, std::chrono::seconds(5));
    for (int reply = 0; reply < 16; ++reply) {
        content::HelperReply answer;
        if (content::ExtractHelper::readReply(fd, kind, file, kMaxTextBytes, deadline, {},
                                              answer) != content::ExtractHelper::ReadResult::Done)
            break;
        takeIn(kind, data[1], answer.bytes);
    }
    ::close(fd);
}

// The bytes as a helper's standard input: requests read one after another, each
// split into its files as the helper splits it, until one is malformed.
void extractRequests(const std::uint8_t* data, std::size_t size)
{
    namespace protocol = content::protocol;
    const int fd = readableBytes(data, size);
    if (fd < 0) return;
    std::vector<char> request;
    std::vector<protocol::RequestFile> files;
    while (protocol::readRequest(fd, request) == protocol::RequestRead::Done) {
        protocol::RequestKind kind{};
        if (!protocol::splitRequest(request.data(), request.size(), kind, files)) break;
        for (const protocol::RequestFile& file : files) {
            if (file.size < 1 || file.data < request.data() ||
                file.data + file.size > request.data() + request.size())
                std::abort(); // a file must lie inside its request
            (void)QString::fromUtf8(file.data + 1, qsizetype(file.size) - 1);
            (void)protocol::maxReplyBytes(kind, file.data, file.size, 1024 * 1024);
        }
    }
    ::close(fd);
}

} // namespace ovra::fuzz
