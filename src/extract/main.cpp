// ovra-extract: reads user files for the app (the words of documents, the
// attributes of media and PDF files, the text in pictures, the pictures of
// videos and PDFs for thumbnails) one after another, as a separate process
// so that a parser's crash, stall or runaway allocation on a hostile file costs
// only this process. Requests come on standard input and answers go to standard
// output (see ExtractProtocol.h); the app kills and restarts a helper that
// overruns its deadline, and records the file as rejected.

#include "Recognition.h"
#include "platform/UserFile.h"
#include "platform/content/ExtractProtocol.h"
#include "platform/content/RecognizedText.h"
#include "platform/content/TextExtractor.h"
#include "platform/metadata/AttributeCache.h"
#include "platform/metadata/MediaReader.h"
#include "platform/metadata/PdfReader.h"
#include "platform/thumbnails/PdfPage.h"
#include "platform/thumbnails/VideoFrame.h"

#include <QByteArray>
#include <QDataStream>
#include <QIODevice>
#include <QString>
#include <QThreadPool>

#include <algorithm>
#include <cerrno>
#include <csignal>
#include <cstdlib>
#include <cstring>
#include <string_view>
#include <vector>

#include <malloc.h>
#include <sys/prctl.h>
#include <sys/resource.h>
#include <sys/time.h>
#include <unistd.h>

using namespace ovra;
using namespace ovra::content;

namespace {

// A document's buffers at or above this size are mapped on their own and go
// back to the system when freed. glibc would otherwise raise the bound after
// each large buffer freed, and a helper would keep the peak of its largest
// document for the rest of its life.
constexpr int kOwnMappingBytes = 256 << 10;
// Past this much freed but kept, the heap is handed back: the parsers leave it
// fragmented, and a few helpers each holding a large document's worth added up
// to more than the app.
constexpr std::size_t kKeptFreeBytes = 4 << 20;

// One arena: the helper reads one file at a time, and each extra thread's
// arena would keep its own freed memory.
void limitHeap()
{
    ::mallopt(M_ARENA_MAX, 1);
    ::mallopt(M_MMAP_THRESHOLD, kOwnMappingBytes);
    ::mallopt(M_TRIM_THRESHOLD, kOwnMappingBytes);
}

struct Settings {
    ExtractLimits limits;
    std::int64_t memoryLimit = 0; // bytes of address space; 0: none
    unsigned deadlineSeconds = 0; // the process ends itself past this; 0: never
    pid_t app = 0;                // the process that started this one; 0: not said
};

Settings parseArguments(int argc, char** argv)
{
    Settings settings;
    for (int i = 1; i + 1 < argc; i += 2) {
        const std::string_view option = argv[i];
        const char* value = argv[i + 1];
        const auto number = std::strtoll(value, nullptr, 10);
        if (option == protocol::kMemoryLimit)
            settings.memoryLimit = number;
        else if (option == protocol::kMaxTextBytes)
            settings.limits.maxTextBytes = number;
        else if (option == protocol::kMaxMarkupBytes)
            settings.limits.maxMarkupBytes = number;
        else if (option == protocol::kMaxDocumentBytes)
            settings.limits.maxDocumentBytes = number;
        else if (option == protocol::kMaxArchiveEntries)
            settings.limits.maxArchiveEntries = number;
        else if (option == protocol::kMaxInflatedBytes)
            settings.limits.maxInflatedBytes = number;
        else if (option == protocol::kMaxCompressionRatio)
            settings.limits.maxCompressionRatio = std::strtod(value, nullptr);
        else if (option == protocol::kTimeBudgetMs)
            settings.limits.timeBudget = std::chrono::milliseconds(number);
        else if (option == protocol::kDeadlineSeconds)
            settings.deadlineSeconds = unsigned(number);
        else if (option == protocol::kAppProcess)
            settings.app = pid_t(number);
    }
    return settings;
}

// Should the app itself be stuck, a helper stuck in a parser still ends: past
// its deadline it ends itself, by the default action of the signal of a timer
// of its processor time. Like the app's deadline, it counts the work done, not
// the wall clock: a helper that a busy machine starves, or that waits for the
// app to read its reply, is not taken for a stuck one. A helper that stalls
// without spinning costs nothing, and ends with the app (the death signal the
// app set before it started us).
namespace watchdog {

void arm(unsigned seconds)
{
    if (seconds == 0) return;
    const itimerval timer{{0, 0}, {time_t(seconds), 0}};
    ::setitimer(ITIMER_PROF, &timer, nullptr);
}

void disarm()
{
    const itimerval none{};
    ::setitimer(ITIMER_PROF, &none, nullptr);
}

} // namespace watchdog

bool hasFileName(const QString& path, const char* name)
{
    return name && *name && path.section(u'/', -1) == QString::fromUtf8(name);
}

using Outcome = ExtractedText::Outcome;

struct Answer {
    Outcome outcome = Outcome::Unreadable;
    bool flag = false;
    QByteArray bytes;
};

// Every kind of reading the app hands its helpers.
class Work {
public:
    // `overTimeOn`: the test hook's file name, whose media budget is spent
    // before its read begins.
    Work(const ExtractLimits& limits, const char* overTimeOn)
        : m_extractor(limits)
        , m_overTimeOn(overTimeOn)
    {
    }

    // `path` is the file the request names (pathOf), if it names one.
    Answer answer(protocol::RequestKind kind, std::uint8_t what, QByteArrayView item,
                  const QString& path) const
    {
        switch (kind) {
        case protocol::RequestKind::Text: return text(static_cast<TextFormat>(what), path);
        case protocol::RequestKind::Attributes:
            return attributes(static_cast<protocol::AttributeKind>(what), path);
        case protocol::RequestKind::Recognize:
            if (what == std::uint8_t(protocol::RecognitionKind::FileText))
                return recognized(extract::fileText(path));
            return picture(what, item);
        case protocol::RequestKind::Picture:
            return drawing(static_cast<protocol::PictureKind>(what), item, path);
        }
        return {};
    }

    // Recognition in a picture the app decoded: i32 width, i32 height, packed RGB.
    static Answer picture(std::uint8_t what, QByteArrayView bytes)
    {
        std::int32_t size[2] = {0, 0};
        if (bytes.size() < qsizetype(sizeof size)) return {};
        std::memcpy(size, bytes.data(), sizeof size);
        const auto [width, height] = size;
        if (width <= 0 || height <= 0 || width > content::kMaxImageSide ||
            height > content::kMaxImageSide ||
            bytes.size() - qsizetype(sizeof size) != qsizetype(width) * height * 3)
            return {};
        const QImage image(reinterpret_cast<const uchar*>(bytes.data() + sizeof size), width,
                           height, qsizetype(width) * 3, QImage::Format_RGB888);
        if (what == std::uint8_t(protocol::RecognitionKind::PictureWords)) {
            std::optional<QByteArray> words = extract::pictureWords(image);
            if (!words) return {};
            return {Outcome::Text, false, std::move(*words)};
        }
        return recognized(extract::pictureText(image));
    }

private:
    Answer text(TextFormat format, const QString& path) const
    {
        ExtractedText text = m_extractor.extract(path, format);
        return {text.outcome, text.isTruncated, std::move(text.text)};
    }

    Answer attributes(protocol::AttributeKind kind, const QString& path) const
    {
        const auto file = UserFile::open(path);
        if (!file) return {};
        md::ContentAttributes read;
        md::MediaInput::Budget budget;
        if (hasFileName(path, m_overTimeOn)) budget.time = std::chrono::milliseconds(0);
        bool isWhole = true;
        // The libraries can run out of memory on a hostile file; what was read by
        // then is still worth keeping.
        try {
            if (kind == protocol::AttributeKind::Media)
                isWhole = md::MediaReader::read(*file, path, read, budget);
            else if (kind == protocol::AttributeKind::Pdf)
                md::PdfReader::read(*file, read);
        } catch (...) {
        }
        // Cut short by time: the app shows it but reads the file again later.
        Answer answer{Outcome::Text, !isWhole, {}};
        QDataStream out(&answer.bytes, QIODevice::WriteOnly);
        md::AttributeCache::writeContent(out, read);
        return answer;
    }

    // A thumbnail's picture: a frame of a video (or a song's cover), the first
    // page of a PDF.
    static Answer drawing(protocol::PictureKind kind, QByteArrayView item, const QString& path)
    {
        std::int32_t side = 0;
        if (item.size() < qsizetype(sizeof side)) return {};
        std::memcpy(&side, item.data(), sizeof side);
        if (side <= 0 || side > protocol::kMaxPictureSide) return {};
        std::optional<RawImage> image;
        try {
            if (kind == protocol::PictureKind::VideoFrame)
                image = grabVideoFrame(path, side);
            else if (kind == protocol::PictureKind::PdfFirstPage)
                image = renderPdfFirstPage(path, side);
        } catch (...) {
        }
        if (!image || image->width <= 0 || image->height <= 0 ||
            image->bytesPerLine < qsizetype(image->width) * 4 ||
            image->pixels.size() < image->bytesPerLine * image->height)
            return {};
        // A renderer's rounding may make a pixel more than asked; the app takes
        // no more than the side it asked for.
        const std::int32_t size[2] = {std::min(image->width, side), std::min(image->height, side)};
        const qsizetype row = qsizetype(size[0]) * 4;
        Answer answer{Outcome::Text, false, QByteArray()};
        answer.bytes.reserve(qsizetype(sizeof size) + row * size[1]);
        answer.bytes.append(reinterpret_cast<const char*>(size), sizeof size);
        for (int y = 0; y < size[1]; ++y)
            answer.bytes.append(image->pixels.constData() + image->bytesPerLine * y, row);
        return answer;
    }

    static Answer recognized(const std::optional<QString>& text)
    {
        if (!text) return {};
        return {Outcome::Text, false, text->toUtf8()};
    }

    TextExtractor m_extractor;
    const char* m_overTimeOn;
};

// The file a request names: none for a picture sent whole; a picture to draw
// names its size before the path.
QString pathOf(protocol::RequestKind kind, std::uint8_t what, QByteArrayView item)
{
    switch (kind) {
    case protocol::RequestKind::Text:
    case protocol::RequestKind::Attributes: return QString::fromUtf8(item);
    case protocol::RequestKind::Recognize:
        return what == std::uint8_t(protocol::RecognitionKind::FileText) ? QString::fromUtf8(item)
                                                                         : QString();
    case protocol::RequestKind::Picture:
        return item.size() < qsizetype(sizeof(std::int32_t))
                   ? QString()
                   : QString::fromUtf8(item.sliced(sizeof(std::int32_t)));
    }
    return {};
}

} // namespace

int main(int argc, char** argv)
{
    // The index may close our pipe at any time; a write then fails instead.
    std::signal(SIGPIPE, SIG_IGN);
    std::signal(SIGPROF, SIG_DFL); // the watchdog's: it ends the process
    limitHeap();
    const Settings settings = parseArguments(argc, argv);
    // Killed by the kernel when the app's thread that started us ends, which
    // it does only with the app, however the app ends: a stopped helper, or
    // one stuck where the guard above does not count, still goes with it. The
    // app sets this before the exec already (a helper stopped before its main
    // goes too); set again for one started another way. An app that ended
    // before this took hold has left us to another parent.
    if (settings.app > 0) {
        ::prctl(PR_SET_PDEATHSIG, SIGKILL);
        if (::getppid() != settings.app) return 0;
    }
    // A sanitized build reserves terabytes of address space for its shadow
    // memory: no address-space limit can hold there.
#ifndef OVRA_SANITIZE
    if (settings.memoryLimit > 0) {
        const rlimit limit{rlim_t(settings.memoryLimit), rlim_t(settings.memoryLimit)};
        ::setrlimit(RLIMIT_AS, &limit);
    }
#endif
    // A crash on a hostile file is expected here, and answered by a restart: it
    // leaves no core file behind.
    const rlimit noCore{0, 0};
    ::setrlimit(RLIMIT_CORE, &noCore);
    // Qt splits image conversions over a pool of a thread per core. One helper
    // runs per core already, and each of those threads would claim its own
    // stack and allocation arena within the address-space limit.
    QThreadPool::globalInstance()->setMaxThreadCount(1);
    const char* crashOn = std::getenv(protocol::kCrashOnEnv);
    const char* spinOn = std::getenv(protocol::kSpinOnEnv);
    const Work work(settings.limits, std::getenv(protocol::kOverTimeOnEnv));
    // Loaded and ready: the index starts a file's deadline only from here.
    if (!protocol::writeFully(STDOUT_FILENO, &protocol::kReady, sizeof protocol::kReady)) return 0;

    std::vector<char> request;
    std::vector<protocol::RequestFile> files;
    while (true) {
        // Between requests, when the app waits for nothing of ours.
        if (::mallinfo2().fordblks >= kKeptFreeBytes) ::malloc_trim(0);
        switch (protocol::readRequest(STDIN_FILENO, request)) {
        case protocol::RequestRead::Done: break;
        case protocol::RequestRead::Ended: return 0; // the app closed
        case protocol::RequestRead::Malformed: return 1;
        }
        protocol::RequestKind kind{};
        if (!protocol::splitRequest(request.data(), request.size(), kind, files)) return 1;
        for (const protocol::RequestFile& file : files) {
            const QByteArrayView item(file.data + 1, qsizetype(file.size) - 1);
            const QString path = pathOf(kind, file.what(), item);

            watchdog::arm(settings.deadlineSeconds);
            if (hasFileName(path, crashOn)) std::abort();
            if (hasFileName(path, spinOn)) {
                for (volatile bool spinning = true; spinning;) {
                }
            }
            Answer answer = work.answer(kind, file.what(), item, path);
            watchdog::disarm();
            // The app takes a reply larger than its kind can hold for a broken
            // helper; a file that would give one is refused here instead.
            if (std::uint64_t(answer.bytes.size()) >
                protocol::maxReplyBytes(kind, file.data, file.size, settings.limits.maxTextBytes))
                answer = {Outcome::Rejected, false, {}};

            const char header[2] = {char(answer.outcome), char(answer.flag ? 1 : 0)};
            const auto byteCount = std::uint32_t(answer.bytes.size());
            if (!protocol::writeFully(STDOUT_FILENO, header, sizeof header) ||
                !protocol::writeFully(STDOUT_FILENO, &byteCount, sizeof byteCount) ||
                !protocol::writeFully(STDOUT_FILENO, answer.bytes.constData(), byteCount))
                return 0;
        }
    }
}
