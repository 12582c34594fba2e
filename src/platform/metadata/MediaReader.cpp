#include "MediaReader.h"

#include "ContentFile.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
#include <libavutil/log.h>
#include <libavutil/mem.h>
}

#include <QFileInfo>

#include <cerrno>
#include <cmath>
#include <cstdio>
#include <memory>
#include <chrono>
#include <mutex>

namespace ovra::md {

namespace {

// Probing reads only this much to find the streams: enough for the headers of
// every container we meet, cheap enough for a whole library.
constexpr std::int64_t kProbeSize = 512 * 1024;
constexpr std::int64_t kAnalyzeDuration = AV_TIME_BASE; // one second of media
constexpr int kIoBufferSize = 32 * 1024;
// A damaged or zero-filled file can send a demuxer scanning for frames through
// the whole file: no file may cost the index more than this.
constexpr std::int64_t kMaxBytesRead = 8 * 1024 * 1024;
constexpr auto kTimeBudget = std::chrono::milliseconds(250);

void silenceFFmpeg()
{
    static std::once_flag once;
    std::call_once(once, [] { av_log_set_level(AV_LOG_QUIET); });
}

struct FileCursor {
    const ContentFile* file;
    std::int64_t position = 0;
    std::int64_t bytesRead = 0;
    std::chrono::steady_clock::time_point deadline = std::chrono::steady_clock::now() + kTimeBudget;
};

int pastBudget(void* opaque)
{
    return std::chrono::steady_clock::now() > static_cast<FileCursor*>(opaque)->deadline ? 1 : 0;
}

int readPacket(void* opaque, std::uint8_t* buffer, int size)
{
    auto* cursor = static_cast<FileCursor*>(opaque);
    if (size <= 0) return 0;
    if (cursor->bytesRead >= kMaxBytesRead) return AVERROR_EOF;
    const std::size_t n =
        cursor->file->readSome(std::uint64_t(cursor->position), buffer, std::size_t(size));
    if (n == 0) return AVERROR_EOF;
    cursor->position += std::int64_t(n);
    cursor->bytesRead += std::int64_t(n);
    return int(n);
}

std::int64_t seekTo(void* opaque, std::int64_t offset, int whence)
{
    auto* cursor = static_cast<FileCursor*>(opaque);
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

// Formats such as HLS playlists or concat lists name other files and URLs; we
// read the one file we were given and nothing it points to.
int refuseNestedOpen(AVFormatContext*, AVIOContext**, const char*, int, AVDictionary**)
{
    return AVERROR(EPERM);
}

struct IoContextDeleter {
    void operator()(AVIOContext* io) const
    {
        if (!io) return;
        av_freep(&io->buffer);
        avio_context_free(&io);
    }
};

struct FormatContextDeleter {
    void operator()(AVFormatContext* format) const { avformat_close_input(&format); }
};

std::optional<QString> tag(const AVDictionary* metadata, const char* key)
{
    const AVDictionaryEntry* entry = av_dict_get(metadata, key, nullptr, 0);
    if (!entry || !entry->value) return std::nullopt;
    QString value = QString::fromUtf8(entry->value).trimmed();
    if (value.isEmpty()) return std::nullopt;
    return value;
}

bool isAttachedPicture(const AVStream* stream)
{
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

bool isMediaStream(const AVStream* stream)
{
    const auto type = stream->codecpar->codec_type;
    return (type == AVMEDIA_TYPE_AUDIO || type == AVMEDIA_TYPE_VIDEO) && !isAttachedPicture(stream);
}

std::optional<double> durationOf(const AVFormatContext* format)
{
    if (format->duration != AV_NOPTS_VALUE && format->duration > 0)
        return double(format->duration) / AV_TIME_BASE;
    double longest = 0;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (!isMediaStream(stream) || stream->duration == AV_NOPTS_VALUE || stream->duration <= 0)
            continue;
        longest = std::max(longest, double(stream->duration) * av_q2d(stream->time_base));
    }
    if (longest > 0 && std::isfinite(longest)) return longest;
    return std::nullopt;
}

// True while a header left something we report unknown, so probing the packets
// (avformat_find_stream_info, the costly step) is worth it.
bool needsStreamInfo(const AVFormatContext* format)
{
    if (!durationOf(format)) return true;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (!isMediaStream(stream)) continue;
        if (stream->codecpar->codec_id == AV_CODEC_ID_NONE) return true;
        if (stream->codecpar->codec_type == AVMEDIA_TYPE_VIDEO &&
            (stream->codecpar->width <= 0 || stream->codecpar->height <= 0))
            return true;
    }
    return false;
}

void takeTags(const AVFormatContext* format, ContentAttributes& out)
{
    // Most containers keep tags at the top; Ogg keeps them on the stream.
    const AVDictionary* global = format->metadata;
    const AVDictionary* firstStream = nullptr;
    for (unsigned i = 0; i < format->nb_streams && !firstStream; ++i)
        if (isMediaStream(format->streams[i])) firstStream = format->streams[i]->metadata;
    const auto lookup = [&](const char* key) {
        auto value = tag(global, key);
        if (!value && firstStream) value = tag(firstStream, key);
        return value;
    };
    if (auto title = lookup("title")) out.title = title;
    auto artist = lookup("artist");
    if (!artist) artist = lookup("album_artist");
    if (artist) out.authors = QStringList{*artist};
    if (auto album = lookup("album")) out.album = album;
    if (auto genre = lookup("genre")) out.musicalGenre = genre;
}

void takeStreams(const AVFormatContext* format, ContentAttributes& out)
{
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (!isMediaStream(stream)) continue;
        const AVCodecParameters* codec = stream->codecpar;
        if (codec->codec_id != AV_CODEC_ID_NONE) {
            const QString name = QString::fromUtf8(avcodec_get_name(codec->codec_id));
            if (!out.codecs.contains(name)) out.codecs.append(name);
        }
        if (codec->codec_type == AVMEDIA_TYPE_VIDEO && !out.pixelWidth && codec->width > 0 &&
            codec->height > 0) {
            out.pixelWidth = codec->width;
            out.pixelHeight = codec->height;
        }
    }
}

} // namespace

void MediaReader::read(const ContentFile& file, const QString& fileName, ContentAttributes& out)
{
    silenceFFmpeg();
    if (file.size() == 0) return;

    FileCursor cursor{&file};
    auto* ioBuffer = static_cast<unsigned char*>(av_malloc(kIoBufferSize));
    if (!ioBuffer) return;
    std::unique_ptr<AVIOContext, IoContextDeleter> io(
        avio_alloc_context(ioBuffer, kIoBufferSize, 0, &cursor, readPacket, nullptr, seekTo));
    if (!io) {
        av_free(ioBuffer);
        return;
    }

    AVFormatContext* raw = avformat_alloc_context();
    if (!raw) return;
    raw->pb = io.get();
    raw->flags |= AVFMT_FLAG_CUSTOM_IO;
    raw->probesize = kProbeSize;
    raw->max_analyze_duration = kAnalyzeDuration;
    raw->io_open = refuseNestedOpen;
    raw->interrupt_callback = AVIOInterruptCB{pastBudget, &cursor};
    // The name is only a hint for formats without a signature (raw streams): with
    // our own I/O context FFmpeg never opens it.
    const QByteArray hint = QFileInfo(fileName).fileName().toUtf8();
    if (avformat_open_input(&raw, hint.constData(), nullptr, nullptr) < 0) return; // frees raw
    std::unique_ptr<AVFormatContext, FormatContextDeleter> format(raw);

    if (needsStreamInfo(format.get())) avformat_find_stream_info(format.get(), nullptr);

    if (const auto duration = durationOf(format.get())) out.durationSeconds = duration;
    takeTags(format.get(), out);
    takeStreams(format.get(), out);
}

} // namespace ovra::md
