#include "VideoFrame.h"

#include "platform/UserFile.h"
#include "platform/metadata/MediaInput.h"

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/display.h>
#include <libavutil/frame.h>
#include <libswscale/swscale.h>
}

#include <algorithm>
#include <cmath>
#include <cstring>
#include <memory>

namespace ovra {

namespace {

constexpr std::int64_t kProbeSize = 5'000'000;
// A frame from a tenth of the way in, but no later than this: the very first
// frame is often black, and seeking far into a long file costs reads.
constexpr double kFrameAtFraction = 0.1;
constexpr double kLatestFrameSeconds = 5.0;
// Bounds on the work for one frame, whatever the file claims: packets read
// after the seek, and the picture size a decoder may allocate (8K is 33 MP).
constexpr int kMaxPacketsRead = 2000;
// Finding and decoding a frame reads more than a probe, but never without end:
// so many bytes, so much of the drawing thread's processor time.
const md::MediaInput::Budget kFrameBudget{256ll * 1024 * 1024, std::chrono::milliseconds(3000)};
constexpr std::int64_t kMaxPixels = 64ll * 1024 * 1024;

struct CodecContextDeleter {
    void operator()(AVCodecContext* c) const { avcodec_free_context(&c); }
};
struct FrameDeleter {
    void operator()(AVFrame* f) const { av_frame_free(&f); }
};
struct PacketDeleter {
    void operator()(AVPacket* p) const { av_packet_free(&p); }
};
using CodecContext = std::unique_ptr<AVCodecContext, CodecContextDeleter>;
using Frame = std::unique_ptr<AVFrame, FrameDeleter>;
using Packet = std::unique_ptr<AVPacket, PacketDeleter>;

bool isAttachedPicture(const AVStream* stream)
{
    return (stream->disposition & AV_DISPOSITION_ATTACHED_PIC) != 0;
}

// A moving picture wins over a cover; among several, FFmpeg's choice.
const AVStream* pictureStream(AVFormatContext* format)
{
    const int best = av_find_best_stream(format, AVMEDIA_TYPE_VIDEO, -1, -1, nullptr, 0);
    if (best >= 0 && !isAttachedPicture(format->streams[best])) return format->streams[best];
    const AVStream* cover = nullptr;
    for (unsigned i = 0; i < format->nb_streams; ++i) {
        const AVStream* stream = format->streams[i];
        if (stream->codecpar->codec_type != AVMEDIA_TYPE_VIDEO) continue;
        if (!isAttachedPicture(stream)) return stream;
        if (!cover) cover = stream;
    }
    return cover;
}

CodecContext openDecoder(const AVStream* stream)
{
    const AVCodecParameters* parameters = stream->codecpar;
    if (std::int64_t(parameters->width) * parameters->height > kMaxPixels) return nullptr;
    const AVCodec* codec = avcodec_find_decoder(parameters->codec_id);
    if (!codec) return nullptr;
    CodecContext context(avcodec_alloc_context3(codec));
    if (!context || avcodec_parameters_to_context(context.get(), parameters) < 0) return nullptr;
    // Thumbnails already run on a pool of their own threads.
    context->thread_count = 1;
    context->max_pixels = kMaxPixels;
    if (avcodec_open2(context.get(), codec, nullptr) < 0) return nullptr;
    return context;
}

Frame decodeCover(const AVStream* stream, AVCodecContext* decoder)
{
    Frame frame(av_frame_alloc());
    if (!frame) return nullptr;
    if (avcodec_send_packet(decoder, &stream->attached_pic) >= 0 &&
        avcodec_receive_frame(decoder, frame.get()) == 0)
        return frame;
    avcodec_send_packet(decoder, nullptr);
    if (avcodec_receive_frame(decoder, frame.get()) == 0) return frame;
    return nullptr;
}

// The stream time of the frame we want, after seeking to the key frame at or
// before it; 0 when the length is unknown or seeking fails.
std::int64_t seekNearStart(AVFormatContext* format, const AVStream* stream)
{
    if (format->duration == AV_NOPTS_VALUE || format->duration <= 0) return 0;
    const double seconds =
        std::min(double(format->duration) / AV_TIME_BASE * kFrameAtFraction, kLatestFrameSeconds);
    const std::int64_t start = stream->start_time == AV_NOPTS_VALUE ? 0 : stream->start_time;
    const std::int64_t target =
        start + std::int64_t(std::llround(seconds / av_q2d(stream->time_base)));
    if (av_seek_frame(format, stream->index, target, AVSEEK_FLAG_BACKWARD) < 0) {
        av_seek_frame(format, stream->index, start, AVSEEK_FLAG_BACKWARD);
        return 0;
    }
    return target;
}

Frame decodeNearStart(AVFormatContext* format, const AVStream* stream, AVCodecContext* decoder)
{
    const std::int64_t target = seekNearStart(format, stream);
    Packet packet(av_packet_alloc());
    Frame frame(av_frame_alloc());
    Frame latest(av_frame_alloc());
    if (!packet || !frame || !latest) return nullptr;
    bool haveFrame = false;
    // Keeps each decoded frame; true once it is at or past the target.
    const auto drain = [&]() -> bool {
        while (avcodec_receive_frame(decoder, frame.get()) == 0) {
            av_frame_unref(latest.get());
            av_frame_move_ref(latest.get(), frame.get());
            haveFrame = true;
            const std::int64_t time = latest->best_effort_timestamp;
            if (target == 0 || time == AV_NOPTS_VALUE || time >= target) return true;
        }
        return false;
    };
    for (int read = 0; read < kMaxPacketsRead; ++read) {
        if (av_read_frame(format, packet.get()) < 0) break;
        // A frame shown before the target that no other frame refers to is
        // never needed: much of what lies between the key frame and the
        // target is skipped undecoded. From the target on, every frame counts.
        decoder->skip_frame = packet->pts != AV_NOPTS_VALUE && packet->pts < target
                                  ? AVDISCARD_NONREF
                                  : AVDISCARD_DEFAULT;
        const bool sent = packet->stream_index == stream->index &&
                          avcodec_send_packet(decoder, packet.get()) >= 0;
        av_packet_unref(packet.get());
        if (sent && drain()) return latest;
    }
    // The end of the file, or of our patience: what the decoder still holds,
    // else the last frame seen.
    avcodec_send_packet(decoder, nullptr);
    drain();
    return haveFrame ? std::move(latest) : nullptr;
}

// Clockwise degrees (0, 90, 180 or 270) that make the stream's pictures upright.
int displayRotation(const AVStream* stream)
{
    size_t size = 0;
    const std::uint8_t* matrix = av_stream_get_side_data(stream, AV_PKT_DATA_DISPLAYMATRIX, &size);
    if (!matrix || size < 9 * sizeof(std::int32_t)) return 0;
    const double counterClockwise =
        av_display_rotation_get(reinterpret_cast<const std::int32_t*>(matrix));
    if (!std::isfinite(counterClockwise)) return 0;
    const int quarterTurns = int(std::lround(-counterClockwise / 90.0));
    return ((quarterTurns % 4) + 4) % 4 * 90;
}

// The frame's size on screen: pixels may be non-square.
void displaySize(const AVFrame* frame, const AVStream* stream, double& width, double& height)
{
    AVRational aspect = frame->sample_aspect_ratio;
    if (aspect.num <= 0 || aspect.den <= 0) aspect = stream->sample_aspect_ratio;
    width = frame->width;
    height = frame->height;
    if (aspect.num > 0 && aspect.den > 0) width *= av_q2d(aspect);
}

std::optional<RawImage> scale(const AVFrame* frame, const AVStream* stream, int maxSide)
{
    if (frame->width <= 0 || frame->height <= 0 || maxSide <= 0) return std::nullopt;
    double width, height;
    displaySize(frame, stream, width, height);
    const double factor = std::min(1.0, double(maxSide) / std::max(width, height));
    RawImage image;
    image.width = std::max(1, int(std::lround(width * factor)));
    image.height = std::max(1, int(std::lround(height * factor)));
    image.bytesPerLine = qsizetype(image.width) * 4;
    image.pixels.resize(image.bytesPerLine * image.height);

    SwsContext* scaler =
        sws_getContext(frame->width, frame->height, AVPixelFormat(frame->format), image.width,
                       image.height, AV_PIX_FMT_RGB32, SWS_AREA, nullptr, nullptr, nullptr);
    if (!scaler) return std::nullopt;
    std::uint8_t* destination[4] = {reinterpret_cast<std::uint8_t*>(image.pixels.data()), nullptr,
                                    nullptr, nullptr};
    const int destinationStride[4] = {int(image.bytesPerLine), 0, 0, 0};
    const int rows = sws_scale(scaler, frame->data, frame->linesize, 0, frame->height, destination,
                               destinationStride);
    sws_freeContext(scaler);
    if (rows != image.height) return std::nullopt;
    // Video has no transparency; a cover picture might.
    auto* pixels = reinterpret_cast<std::uint32_t*>(image.pixels.data());
    for (qsizetype i = 0, n = qsizetype(image.width) * image.height; i < n; ++i)
        pixels[i] |= 0xff000000u;
    return image;
}

RawImage rotated(const RawImage& source, int clockwise)
{
    if (clockwise == 0) return source;
    RawImage out;
    const bool quarter = clockwise == 90 || clockwise == 270;
    out.width = quarter ? source.height : source.width;
    out.height = quarter ? source.width : source.height;
    out.bytesPerLine = qsizetype(out.width) * 4;
    out.pixels.resize(out.bytesPerLine * out.height);
    const auto* in = reinterpret_cast<const std::uint32_t*>(source.pixels.constData());
    auto* o = reinterpret_cast<std::uint32_t*>(out.pixels.data());
    const qsizetype inStride = source.bytesPerLine / 4;
    for (int y = 0; y < source.height; ++y) {
        for (int x = 0; x < source.width; ++x) {
            int ox, oy;
            switch (clockwise) {
            case 90:
                ox = source.height - 1 - y;
                oy = x;
                break;
            case 180:
                ox = source.width - 1 - x;
                oy = source.height - 1 - y;
                break;
            default:
                ox = y;
                oy = source.width - 1 - x;
                break; // 270
            }
            o[qsizetype(oy) * out.width + ox] = in[qsizetype(y) * inStride + x];
        }
    }
    return out;
}

} // namespace

std::optional<RawImage> grabVideoFrame(const QString& path, int maxSide)
{
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return std::nullopt;
    const std::unique_ptr<md::MediaInput> input =
        md::MediaInput::open(*file, path, kProbeSize, kFrameBudget);
    if (!input) return std::nullopt;
    AVFormatContext* format = input->format();
    if (avformat_find_stream_info(format, nullptr) < 0) return std::nullopt;

    const AVStream* stream = pictureStream(format);
    if (!stream) return std::nullopt;
    const CodecContext decoder = openDecoder(stream);
    if (!decoder) return std::nullopt;
    // Only our stream is demuxed: packets of the others are dropped unread.
    for (unsigned i = 0; i < format->nb_streams; ++i)
        if (int(i) != stream->index) format->streams[i]->discard = AVDISCARD_ALL;

    const Frame frame = isAttachedPicture(stream) ? decodeCover(stream, decoder.get())
                                                  : decodeNearStart(format, stream, decoder.get());
    if (!frame) return std::nullopt;
    const std::optional<RawImage> image = scale(frame.get(), stream, maxSide);
    if (!image) return std::nullopt;
    return rotated(*image, displayRotation(stream));
}

} // namespace ovra
