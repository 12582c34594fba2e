#include "MediaReader.h"

#include "../UserFile.h"
#include "MediaInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/avutil.h>
#include <libavutil/dict.h>
}

#include <cmath>
#include <memory>

namespace ovra::md {

namespace {

// Probing reads only this much to find the streams: enough for the headers of
// every container we meet, cheap enough for a whole library.
constexpr std::int64_t kProbeSize = 512 * 1024;
constexpr std::int64_t kAnalyzeDuration = AV_TIME_BASE; // one second of media
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

bool MediaReader::read(const UserFile& file, const QString& fileName, ContentAttributes& out,
                       const MediaInput::Budget& budget)
{
    bool overTime = false;
    const std::unique_ptr<MediaInput> input =
        MediaInput::open(file, fileName, kProbeSize, budget, &overTime);
    if (!input) return !overTime;
    AVFormatContext* format = input->format();
    format->max_analyze_duration = kAnalyzeDuration;

    if (needsStreamInfo(format)) avformat_find_stream_info(format, nullptr);

    if (const auto duration = durationOf(format)) out.durationSeconds = duration;
    takeTags(format, out);
    takeStreams(format, out);
    return !input->isOverTime();
}

} // namespace ovra::md
