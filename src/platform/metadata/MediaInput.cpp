#include "MediaInput.h"

#include "../UserFile.h"

extern "C" {
#include <libavformat/avformat.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <QFileInfo>

#include <cerrno>
#include <cstdio>
#include <mutex>

namespace ovra::md {

namespace {

constexpr int kIoBufferSize = 32 * 1024;

// Formats such as HLS playlists or concat lists name other files and URLs; we
// read the one file we were given and nothing it points to.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

} // namespace

struct MediaInput::Cursor {
    const UserFile* file;
    Budget budget;
    ThreadCpuClock::time_point deadline = budget.clock() + budget.time;
    std::int64_t position = 0;
    std::int64_t bytesRead = 0;
    bool isOverTime = false;

    static int read(void* opaque, std::uint8_t* buffer, int size)
    {
        auto* cursor = static_cast<Cursor*>(opaque);
        if (size <= 0) return 0;
        if (cursor->bytesRead >= cursor->budget.bytes) return AVERROR_EOF;
        const std::size_t n =
            cursor->file->readSome(std::uint64_t(cursor->position), buffer, std::size_t(size));
        if (n == 0) return AVERROR_EOF;
        cursor->position += std::int64_t(n);
        cursor->bytesRead += std::int64_t(n);
        return int(n);
    }

    static int pastDeadline(void* opaque)
    {
        auto* cursor = static_cast<Cursor*>(opaque);
        if (!cursor->isOverTime) cursor->isOverTime = cursor->budget.clock() >= cursor->deadline;
        return cursor->isOverTime ? 1 : 0;
    }

    static std::int64_t seek(void* opaque, std::int64_t offset, int whence)
    {
        auto* cursor = static_cast<Cursor*>(opaque);
        const auto size = std::int64_t(cursor->file->size());
        std::int64_t target;
        switch (whence & ~AVSEEK_FORCE) {
        case AVSEEK_SIZE: return size;
        case SEEK_SET: target = offset; break;
        case SEEK_CUR: target = cursor->position + offset; break;
        case SEEK_END: target = size + offset; break;
        default: return AVERROR(EINVAL);
        }
        if (target < 0) return AVERROR(EINVAL);
        cursor->position = target;
        return target;
    }
};

void silenceFFmpeg()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

std::unique_ptr<MediaInput> MediaInput::open(const UserFile& file, const QString& fileName,
                                             std::int64_t probeSize, Budget budget, bool* overTime)
{
    silenceFFmpeg();
    if (overTime) *overTime = false;
    if (file.size() == 0) return nullptr;

    std::unique_ptr<MediaInput> input(new MediaInput);
    input->m_cursor = std::make_unique<Cursor>(Cursor{&file, std::move(budget)});
    auto* ioBuffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!ioBuffer) return nullptr;
    AVIOContext* io = avio_alloc_context(ioBuffer, kIoBufferSize, 0, input->m_cursor.get(),
                                         Cursor::read, nullptr, Cursor::seek);
    if (!io) {
        av_free(ioBuffer);
        return nullptr;
    }
    input->m_io = io;

    AVFormatContext* format = avformat_alloc_context();
    if (!format) return nullptr;
    format->pb = io;
    format->flags |= AVFMT_FLAG_CUSTOM_IO;
    format->probesize = probeSize;
    format->io_open = refuseNestedOpen;
    format->interrupt_callback = AVIOInterruptCB{Cursor::pastDeadline, input->m_cursor.get()};
    // The name is only a hint for formats without a signature (raw streams): with
    // our own I/O context FFmpeg never opens it.
    const QByteArray hint = QFileInfo(fileName).fileName().toUtf8();
    if (avformat_open_input(&format, hint.constData(), nullptr, nullptr) < 0) {
        if (overTime) *overTime = input->isOverTime();
        return nullptr; // frees the format context
    }
    input->m_format = format;
    return input;
}

bool MediaInput::isOverTime() const
{
    return m_cursor && m_cursor->isOverTime;
}

MediaInput::~MediaInput()
{
    avformat_close_input(&m_format);
    if (auto* io = static_cast<AVIOContext*>(m_io)) {
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
}

} // namespace ovra::md
