#pragma once

#include <cerrno>
#include <cstddef>
#include <cstdint>
#include <cstring>
#include <vector>

#include <unistd.h>

// The messages between the app and its `ovra-extract` helpers, over the helper's
// standard input and output. Both ends are built together, so integers travel
// in the machine's own byte order.
//
// A helper says it is ready with one byte, kReady, before the first request.
// Request:  u32 size, then `size` bytes: u8 RequestKind, then one or more files,
//           each u32 length and `length` bytes (the kind's form, below).
// Response: one per file, in the order asked: u8 outcome, u8 flag, u32 size, then
//           `size` bytes. The outcome is an ExtractedText::Outcome; a file whose
//           outcome is Text carries the kind's answer.
//
//   Text:       file = u8 TextFormat, path; flag = truncated; bytes = UTF-8 text.
//   Attributes: file = u8 AttributeKind, path; flag = the read's time budget ran
//               out first; bytes = the ContentAttributes in the attribute cache's
//               form.
//   Recognize:  file = u8 RecognitionKind, then a path (FileText) or a picture
//               (i32 width, i32 height, rows of packed RGB); bytes = UTF-8 text,
//               or the words in RecognizedText's form (PictureWords). Unreadable:
//               the text could not be read this time.
//   Picture:    file = u8 PictureKind, i32 longest side, path; bytes = i32 width,
//               i32 height, rows of 32-bit pixels 0xffRRGGBB (RawImage's, packed).
//               Unreadable: the file has no picture that could be drawn.
namespace ovra::content::protocol {

enum class RequestKind : std::uint8_t { Text = 1, Attributes = 2, Recognize = 3, Picture = 4 };
enum class AttributeKind : std::uint8_t { Media = 1, Pdf = 2 };
enum class RecognitionKind : std::uint8_t { FileText = 1, PictureText = 2, PictureWords = 3 };
enum class PictureKind : std::uint8_t { VideoFrame = 1, PdfFirstPage = 2 };
// The largest picture a helper draws.
constexpr int kMaxPictureSide = 4096;

// The most a reply of each kind can hold, beyond its picture or the extractor's
// text cap; the app refuses a larger one before taking it in. Tags and a PDF's
// information dictionary come nowhere near the first; no picture a helper reads
// holds enough glyphs to come near the second.
constexpr std::uint32_t kMaxAttributeBytes = 1024 * 1024;
constexpr std::uint32_t kMaxRecognizedBytes = 16 * 1024 * 1024;

constexpr char kReady = 'R';
// A picture of 3000 × 3000 pixels fits in one request.
constexpr std::uint32_t kMaxRequestBytes = 32 * 1024 * 1024;
constexpr std::uint32_t kMaxFileBytes = kMaxRequestBytes - 8;
constexpr std::size_t kResponseHeaderBytes = 6;

// The options a helper takes, each followed by a number.
constexpr const char* kMemoryLimit = "--memory-limit";
constexpr const char* kMaxTextBytes = "--max-text";
constexpr const char* kMaxMarkupBytes = "--max-markup";
constexpr const char* kMaxDocumentBytes = "--max-document";
constexpr const char* kMaxArchiveEntries = "--max-entries";
constexpr const char* kMaxInflatedBytes = "--max-inflated";
constexpr const char* kMaxCompressionRatio = "--max-ratio";
constexpr const char* kTimeBudgetMs = "--time-budget-ms";
constexpr const char* kDeadlineSeconds = "--deadline-seconds";
// The app's process id: the helper ends when the app's thread that started it
// ends, and at once if the app is gone by the time it looks.
constexpr const char* kAppProcess = "--app-process";

// Test-only: a helper started with one of these set to a file name crashes on, or
// never returns from, any file of that name, whatever it was asked to do with it,
// so tests can feed it hostile input.
constexpr const char* kCrashOnEnv = "OVRA_EXTRACT_TEST_CRASH_ON";
constexpr const char* kSpinOnEnv = "OVRA_EXTRACT_TEST_SPIN_ON";
// Test-only: a helper started with this set to a file name reads that file's
// media attributes with a time budget spent before the read begins.
constexpr const char* kOverTimeOnEnv = "OVRA_EXTRACT_TEST_OVER_TIME_ON";

// The most bytes the reply to one file may hold: `file` is the file's part of
// the request (its kind of work, then the rest), `maxTextBytes` the extractor's
// cap on a document's text.
inline std::uint64_t maxReplyBytes(RequestKind kind, const char* file, std::size_t size,
                                   std::int64_t maxTextBytes)
{
    switch (kind) {
    case RequestKind::Text: return maxTextBytes > 0 ? std::uint64_t(maxTextBytes) : 0;
    case RequestKind::Attributes: return kMaxAttributeBytes;
    case RequestKind::Recognize: return kMaxRecognizedBytes;
    case RequestKind::Picture: {
        // i32 width, i32 height, then four bytes a pixel, no side over the one asked.
        std::int32_t side = 0;
        if (size < 1 + sizeof side) return 0;
        std::memcpy(&side, file + 1, sizeof side);
        if (side <= 0 || side > kMaxPictureSide) return 0;
        return 2 * sizeof(std::int32_t) + std::uint64_t(side) * std::uint64_t(side) * 4;
    }
    }
    return 0;
}

// Reads exactly `size` bytes from a pipe, across short reads and
// interruptions; false at its end or on an error.
inline bool readFully(int fd, void* data, std::size_t size)
{
    auto* bytes = static_cast<char*>(data);
    while (size > 0) {
        const ssize_t n = ::read(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

// One request as the helper reads it from the app: its size, then that many
// bytes. Ended when the app closed the pipe between requests; Malformed for a
// size out of bounds or a request cut short.
enum class RequestRead { Done, Ended, Malformed };
inline RequestRead readRequest(int fd, std::vector<char>& request)
{
    std::uint32_t size = 0;
    if (!readFully(fd, &size, sizeof size)) return RequestRead::Ended;
    if (size < 1 || size > kMaxRequestBytes) return RequestRead::Malformed;
    request.resize(size);
    return readFully(fd, request.data(), size) ? RequestRead::Done : RequestRead::Malformed;
}

// One file's part of a request: its one-byte kind of work, then the rest.
struct RequestFile {
    const char* data = nullptr;
    std::size_t size = 0; // at least 1

    std::uint8_t what() const { return std::uint8_t(data[0]); }
};

// A request as the helper reads it, after its size: the kind, then every file.
// False for a request that is malformed anywhere (an empty file, a length past
// the end); the helper then ends rather than guess.
inline bool splitRequest(const char* data, std::size_t size, RequestKind& kind,
                         std::vector<RequestFile>& files)
{
    files.clear();
    if (size < 1 || size > kMaxRequestBytes) return false;
    kind = static_cast<RequestKind>(data[0]);
    for (std::size_t at = 1; at < size;) {
        std::uint32_t length = 0;
        if (size - at < sizeof length) return false;
        std::memcpy(&length, data + at, sizeof length);
        at += sizeof length;
        if (length < 1 || length > kMaxFileBytes || size - at < length) return false;
        files.push_back({data + at, length});
        at += length;
    }
    return true;
}

// Writes all of `data` to a pipe, across short writes and interruptions; false
// when the other end has gone. Both ends of the helper's pipes frame this way.
inline bool writeFully(int fd, const void* data, std::size_t size)
{
    const auto* bytes = static_cast<const char*>(data);
    while (size > 0) {
        const ssize_t n = ::write(fd, bytes, size);
        if (n < 0 && errno == EINTR) continue;
        if (n <= 0) return false;
        bytes += n;
        size -= std::size_t(n);
    }
    return true;
}

} // namespace ovra::content::protocol
