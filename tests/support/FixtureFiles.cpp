#include "FixtureFiles.h"

#include <QBuffer>
#include <QCoreApplication>
#include <QFile>
#include <QFileInfo>
#include <QGuiApplication>
#include <QImage>
#include <QPainter>
#include <QPdfWriter>
#include <QRegularExpression>

#include <gtest/gtest.h>

extern "C" {
#include <libavcodec/avcodec.h>
#include <libavformat/avformat.h>
#include <libavutil/channel_layout.h>
#include <libavutil/log.h>
#include <libavutil/mathematics.h>
#include <libavutil/samplefmt.h>
}

#include <algorithm>
#include <cmath>
#include <functional>
#include <memory>

namespace ovra::test {

namespace {

// Little helpers

QByteArray u16(quint16 v, bool bigEndian)
{
    QByteArray b(2, Qt::Uninitialized);
    b[bigEndian ? 0 : 1] = char(v >> 8);
    b[bigEndian ? 1 : 0] = char(v);
    return b;
}

QByteArray u32(quint32 v, bool bigEndian)
{
    QByteArray b = u16(quint16(bigEndian ? v >> 16 : v), bigEndian);
    b += u16(quint16(bigEndian ? v : v >> 16), bigEndian);
    return b;
}

QByteArray le16(quint16 v)
{
    return u16(v, false);
}
QByteArray le32(quint32 v)
{
    return u32(v, false);
}

QImage filledImage(int width, int height)
{
    QImage image(width, height, QImage::Format_RGB32);
    image.fill(QColor(40, 120, 200));
    return image;
}

QByteArray encodeImage(const QImage& image, const char* format)
{
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    if (!image.save(&buffer, format)) ADD_FAILURE() << "cannot encode a " << format << " fixture";
    return bytes;
}

// Text drawing needs a GUI application; tests run without one unless they make it.
void ensureGuiApplication()
{
    if (QCoreApplication::instance()) {
        if (!qobject_cast<QGuiApplication*>(QCoreApplication::instance()))
            ADD_FAILURE() << "PDF fixtures need a QGuiApplication, and a QCoreApplication exists";
        return;
    }
    if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    static int argc = 1;
    static char name[] = "ovra-tests";
    static char* argv[] = {name, nullptr};
    new QGuiApplication(argc, argv); // lives until the process ends
}

// TIFF structures

constexpr quint16 kAscii = 2;
constexpr quint16 kShort = 3;
constexpr quint16 kLong = 4;

struct TiffEntry {
    quint16 tag;
    quint16 type;
    quint32 count;
    QByteArray value; // in the file's byte order
};

TiffEntry asciiEntry(quint16 tag, const QByteArray& text)
{
    return {tag, kAscii, quint32(text.size() + 1), text + '\0'};
}

TiffEntry longEntry(quint16 tag, quint32 value, bool bigEndian)
{
    return {tag, kLong, 1, u32(value, bigEndian)};
}

TiffEntry shortEntry(quint16 tag, quint16 value, bool bigEndian)
{
    return {tag, kShort, 1, u16(value, bigEndian)};
}

// Header, then `pixels` at offset 8, then IFD0, the EXIF IFD (when it has
// entries) and the values too long to sit inside their entries.
QByteArray tiffStructure(bool bigEndian, const QByteArray& pixels, QList<TiffEntry> ifd0,
                         QList<TiffEntry> exifIfd)
{
    const auto ifdSize = [](qsizetype entries) { return quint32(2 + 12 * entries + 4); };
    const quint32 ifd0Offset = quint32(8 + pixels.size() + (pixels.size() & 1));
    const quint32 exifOffset = ifd0Offset + ifdSize(ifd0.size() + (exifIfd.isEmpty() ? 0 : 1));
    const quint32 dataOffset = exifOffset + (exifIfd.isEmpty() ? 0 : ifdSize(exifIfd.size()));
    if (!exifIfd.isEmpty()) ifd0.append(longEntry(0x8769, exifOffset, bigEndian));

    QByteArray data;
    const auto writeIfd = [&](QList<TiffEntry> entries) {
        std::sort(entries.begin(), entries.end(),
                  [](const TiffEntry& a, const TiffEntry& b) { return a.tag < b.tag; });
        QByteArray ifd = u16(quint16(entries.size()), bigEndian);
        for (const TiffEntry& e : entries) {
            ifd += u16(e.tag, bigEndian) + u16(e.type, bigEndian) + u32(e.count, bigEndian);
            if (e.value.size() <= 4) {
                ifd += e.value + QByteArray(4 - e.value.size(), '\0');
            } else {
                ifd += u32(dataOffset + quint32(data.size()), bigEndian);
                data += e.value;
                if (data.size() & 1) data += '\0';
            }
        }
        return ifd + u32(0, bigEndian); // no next IFD
    };

    QByteArray out = bigEndian ? QByteArray("MM\0*", 4) : QByteArray("II*\0", 4);
    out += u32(ifd0Offset, bigEndian);
    out += pixels;
    if (pixels.size() & 1) out += '\0';
    out += writeIfd(ifd0);
    if (!exifIfd.isEmpty()) out += writeIfd(exifIfd);
    return out + data;
}

void addCameraEntries(const ExifSpec& exif, QList<TiffEntry>& ifd0, QList<TiffEntry>& exifIfd)
{
    if (!exif.make.isEmpty()) ifd0.append(asciiEntry(0x010F, exif.make));
    if (!exif.model.isEmpty()) ifd0.append(asciiEntry(0x0110, exif.model));
    if (!exif.dateTimeOriginal.isEmpty()) exifIfd.append(asciiEntry(0x9003, exif.dateTimeOriginal));
    if (!exif.offsetTimeOriginal.isEmpty())
        exifIfd.append(asciiEntry(0x9011, exif.offsetTimeOriginal));
}

// Media encoding

struct Codecs {
    const char* video = nullptr;
    QList<const char*> audio; // first one this build has wins
};

Codecs codecsFor(const QString& extension)
{
    if (extension == u"flac") return {nullptr, {"flac"}};
    if (extension == u"ogg") return {nullptr, {"libvorbis", "vorbis"}};
    if (extension == u"m4a") return {nullptr, {"aac"}};
    if (extension == u"mp3") return {nullptr, {"libmp3lame"}};
    if (extension == u"mp4") return {"mpeg4", {"aac"}};
    if (extension == u"mkv") return {"mpeg4", {"flac"}};
    if (extension == u"avi") return {"mjpeg", {"pcm_s16le"}};
    return {};
}

const AVCodec* audioEncoder(const Codecs& codecs)
{
    for (const char* name : codecs.audio)
        if (const AVCodec* codec = avcodec_find_encoder_by_name(name)) return codec;
    return nullptr;
}

constexpr int kFramesPerSecond = 10;
constexpr int kSampleRate = 44100;

struct Encoder {
    AVStream* stream = nullptr;
    AVCodecContext* context = nullptr;
    AVFrame* frame = nullptr;
    std::int64_t nextPts = 0;
    std::int64_t endPts = 0;
    bool flushed = false;

    ~Encoder()
    {
        av_frame_free(&frame);
        avcodec_free_context(&context);
    }
};

class MediaWriter {
public:
    explicit MediaWriter(const QString& path)
        : m_path(path)
    {
    }
    ~MediaWriter()
    {
        m_video.reset();
        m_audio.reset();
        if (m_format) {
            if (m_format->pb && !(m_format->oformat->flags & AVFMT_NOFILE))
                avio_closep(&m_format->pb);
            avformat_free_context(m_format);
        }
        av_packet_free(&m_packet);
    }

    bool write(int width, int height, double seconds, bool withAudio, const MediaTags& tags)
    {
        av_log_set_level(AV_LOG_QUIET);
        const Codecs codecs = codecsFor(QFileInfo(m_path).suffix().toLower());
        const QByteArray path = QFile::encodeName(m_path);
        if (avformat_alloc_output_context2(&m_format, nullptr, nullptr, path.constData()) < 0)
            return false;
        m_packet = av_packet_alloc();
        if (width > 0 && !openVideo(codecs, width, height, seconds)) return false;
        if (withAudio && !openAudio(codecs, seconds)) return false;
        setTags(tags);
        if (!(m_format->oformat->flags & AVFMT_NOFILE) &&
            avio_open(&m_format->pb, path.constData(), AVIO_FLAG_WRITE) < 0)
            return false;
        if (avformat_write_header(m_format, nullptr) < 0) return false;
        if (!encodeAll()) return false;
        return av_write_trailer(m_format) == 0;
    }

private:
    bool openStream(std::unique_ptr<Encoder>& encoder, const AVCodec* codec,
                    const std::function<void(AVCodecContext*)>& configure)
    {
        if (!codec) return false;
        encoder = std::make_unique<Encoder>();
        encoder->stream = avformat_new_stream(m_format, nullptr);
        encoder->context = avcodec_alloc_context3(codec);
        if (!encoder->stream || !encoder->context) return false;
        configure(encoder->context);
        encoder->context->strict_std_compliance = FF_COMPLIANCE_EXPERIMENTAL;
        if (m_format->oformat->flags & AVFMT_GLOBALHEADER)
            encoder->context->flags |= AV_CODEC_FLAG_GLOBAL_HEADER;
        if (avcodec_open2(encoder->context, codec, nullptr) < 0) return false;
        if (avcodec_parameters_from_context(encoder->stream->codecpar, encoder->context) < 0)
            return false;
        encoder->stream->time_base = encoder->context->time_base;
        encoder->frame = av_frame_alloc();
        return encoder->frame != nullptr;
    }

    bool openVideo(const Codecs& codecs, int width, int height, double seconds)
    {
        const AVCodec* codec = codecs.video ? avcodec_find_encoder_by_name(codecs.video) : nullptr;
        const bool opened = openStream(m_video, codec, [&](AVCodecContext* c) {
            c->width = width;
            c->height = height;
            c->time_base = AVRational{1, kFramesPerSecond};
            c->framerate = AVRational{kFramesPerSecond, 1};
            c->pix_fmt = codec->pix_fmts ? codec->pix_fmts[0] : AV_PIX_FMT_YUV420P;
            c->gop_size = kFramesPerSecond;
            c->bit_rate = 200000;
        });
        if (!opened) return false;
        AVFrame* f = m_video->frame;
        f->format = m_video->context->pix_fmt;
        f->width = width;
        f->height = height;
        m_video->endPts = std::max<std::int64_t>(1, std::llround(seconds * kFramesPerSecond));
        return av_frame_get_buffer(f, 0) == 0;
    }

    bool openAudio(const Codecs& codecs, double seconds)
    {
        const AVCodec* codec = audioEncoder(codecs);
        const bool opened = openStream(m_audio, codec, [&](AVCodecContext* c) {
            c->sample_rate = kSampleRate;
            c->sample_fmt = codec->sample_fmts ? codec->sample_fmts[0] : AV_SAMPLE_FMT_S16;
            av_channel_layout_default(&c->ch_layout, 2);
            c->time_base = AVRational{1, kSampleRate};
            c->bit_rate = 64000;
        });
        if (!opened) return false;
        AVFrame* f = m_audio->frame;
        AVCodecContext* c = m_audio->context;
        f->format = c->sample_fmt;
        f->sample_rate = c->sample_rate;
        f->nb_samples = c->frame_size > 0 ? c->frame_size : 1024;
        if (av_channel_layout_copy(&f->ch_layout, &c->ch_layout) < 0) return false;
        m_audio->endPts = std::llround(seconds * kSampleRate);
        if (av_frame_get_buffer(f, 0) < 0) return false;
        return av_samples_set_silence(f->data, 0, f->nb_samples, c->ch_layout.nb_channels,
                                      c->sample_fmt) >= 0;
    }

    void setTags(const MediaTags& tags)
    {
        const std::pair<const char*, QString> pairs[] = {{"title", tags.title},
                                                         {"artist", tags.artist},
                                                         {"album", tags.album},
                                                         {"genre", tags.genre}};
        for (const auto& [key, value] : pairs) {
            if (value.isEmpty()) continue;
            av_dict_set(&m_format->metadata, key, value.toUtf8().constData(), 0);
            // Ogg writes the comments of each stream, not the file's.
            if (m_audio)
                av_dict_set(&m_audio->stream->metadata, key, value.toUtf8().constData(), 0);
        }
    }

    bool encodeAll()
    {
        for (;;) {
            Encoder* next = nullptr;
            for (Encoder* e : {m_video.get(), m_audio.get()}) {
                if (!e || e->flushed) continue;
                if (!next || av_compare_ts(e->nextPts, e->context->time_base, next->nextPts,
                                           next->context->time_base) < 0)
                    next = e;
            }
            if (!next) return true;
            if (!encodeNext(*next)) return false;
        }
    }

    bool encodeNext(Encoder& e)
    {
        int sent;
        if (e.nextPts >= e.endPts) {
            sent = avcodec_send_frame(e.context, nullptr);
            e.flushed = true;
        } else {
            if (av_frame_make_writable(e.frame) < 0) return false;
            if (&e == m_video.get()) paintFrame(e.frame, e.nextPts);
            e.frame->pts = e.nextPts;
            e.nextPts += (&e == m_video.get()) ? 1 : e.frame->nb_samples;
            sent = avcodec_send_frame(e.context, e.frame);
        }
        if (sent < 0) return false;
        for (;;) {
            const int received = avcodec_receive_packet(e.context, m_packet);
            if (received == AVERROR(EAGAIN) || received == AVERROR_EOF) return true;
            if (received < 0) return false;
            av_packet_rescale_ts(m_packet, e.context->time_base, e.stream->time_base);
            m_packet->stream_index = e.stream->index;
            if (av_interleaved_write_frame(m_format, m_packet) < 0) return false;
        }
    }

    // A moving gradient, so frames differ and the encoder has something to code.
    static void paintFrame(AVFrame* f, std::int64_t index)
    {
        for (int y = 0; y < f->height; ++y)
            for (int x = 0; x < f->width; ++x)
                f->data[0][y * f->linesize[0] + x] = std::uint8_t(x + y + index * 8);
        for (int plane = 1; plane < 3; ++plane)
            for (int y = 0; y < (f->height + 1) / 2; ++y)
                std::fill_n(f->data[plane] + y * f->linesize[plane], (f->width + 1) / 2,
                            std::uint8_t(128));
    }

    QString m_path;
    AVFormatContext* m_format = nullptr;
    AVPacket* m_packet = nullptr;
    std::unique_ptr<Encoder> m_video;
    std::unique_ptr<Encoder> m_audio;
};

// PDF

QByteArray pdfText(const QString& text)
{
    // UTF-16BE with a byte-order mark, in hex: safe for any character.
    QByteArray bytes("\xFE\xFF", 2);
    for (const QChar c : text)
        bytes += u16(c.unicode(), true);
    return '<' + bytes.toHex().toUpper() + '>';
}

// Appends an incremental update that gives the document an information
// dictionary with the title and author (QPdfWriter has no author field).
bool appendInfo(const QString& path, const QString& title, const QString& author)
{
    QFile file(path);
    if (!file.open(QIODevice::ReadWrite)) return false;
    const QByteArray pdf = file.readAll();
    const qsizetype trailerAt = pdf.lastIndexOf("trailer");
    const qsizetype startxrefAt = pdf.lastIndexOf("startxref");
    if (trailerAt < 0 || startxrefAt < 0) return false;
    const QString trailer = QString::fromLatin1(pdf.mid(trailerAt, startxrefAt - trailerAt));
    const auto size = QRegularExpression(QStringLiteral(R"(/Size\s+(\d+))")).match(trailer);
    const auto root =
        QRegularExpression(QStringLiteral(R"(/Root\s+(\d+\s+\d+\s+R))")).match(trailer);
    const auto prev = QRegularExpression(QStringLiteral(R"(startxref\s+(\d+))"))
                          .match(QString::fromLatin1(pdf.mid(startxrefAt)));
    if (!size.hasMatch() || !root.hasMatch() || !prev.hasMatch()) return false;
    const int object = size.captured(1).toInt();

    QByteArray update = "\n";
    const qsizetype objectAt = pdf.size() + update.size();
    update += QByteArray::number(object) + " 0 obj\n<< /Title " + pdfText(title) + " /Author " +
              pdfText(author) + " >>\nendobj\n";
    const qsizetype xrefAt = pdf.size() + update.size();
    update += "xref\n" + QByteArray::number(object) + " 1\n" +
              QByteArray::number(objectAt).rightJustified(10, '0') + " 00000 n \n";
    update += "trailer\n<< /Size " + QByteArray::number(object + 1) + " /Root " +
              root.captured(1).toLatin1() + " /Info " + QByteArray::number(object) + " 0 R /Prev " +
              prev.captured(1).toLatin1() + " >>\nstartxref\n" + QByteArray::number(xrefAt) +
              "\n%%EOF\n";
    return file.seek(pdf.size()) && file.write(update) == update.size();
}

// A PDF from numbered objects ("<< … >>" bodies), with a correct cross-reference
// table, and extra trailer entries.
QByteArray handWrittenPdf(const QList<QByteArray>& objects, const QByteArray& trailerExtra)
{
    QByteArray pdf = "%PDF-1.4\n";
    QList<qsizetype> offsets;
    for (int i = 0; i < objects.size(); ++i) {
        offsets.append(pdf.size());
        pdf += QByteArray::number(i + 1) + " 0 obj\n" + objects[i] + "\nendobj\n";
    }
    const qsizetype xrefAt = pdf.size();
    pdf += "xref\n0 " + QByteArray::number(objects.size() + 1) + "\n0000000000 65535 f \n";
    for (qsizetype offset : offsets)
        pdf += QByteArray::number(offset).rightJustified(10, '0') + " 00000 n \n";
    pdf += "trailer\n<< /Size " + QByteArray::number(objects.size() + 1) + " /Root 1 0 R " +
           trailerExtra + " >>\nstartxref\n" + QByteArray::number(xrefAt) + "\n%%EOF\n";
    return pdf;
}

} // namespace

// Images

QByteArray pngBytes(int width, int height, const QList<std::pair<QString, QString>>& texts)
{
    QImage image = filledImage(width, height);
    for (const auto& [key, value] : texts)
        image.setText(key, value);
    return encodeImage(image, "PNG");
}

QByteArray pngBytes(const QImage& image)
{
    return encodeImage(image, "PNG");
}

QImage typedNote(const QStringList& lines)
{
    QImage image(900, 60 + 100 * int(lines.size()), QImage::Format_RGB32);
    image.fill(Qt::white);
    QPainter painter(&image);
    QFont font(QStringLiteral("DejaVu Sans"));
    font.setPixelSize(48);
    painter.setFont(font);
    painter.setPen(Qt::black);
    for (qsizetype i = 0; i < lines.size(); ++i)
        painter.drawText(QPointF(40, 90 + 100 * double(i)), lines[i]);
    return image;
}

QByteArray exifBytes(const ExifSpec& exif)
{
    QList<TiffEntry> ifd0;
    QList<TiffEntry> exifIfd;
    addCameraEntries(exif, ifd0, exifIfd);
    return tiffStructure(exif.bigEndian, {}, ifd0, exifIfd);
}

QByteArray jpegBytes(int width, int height, const std::optional<ExifSpec>& exif)
{
    QByteArray jpeg = encodeImage(filledImage(width, height), "JPEG");
    if (!exif || jpeg.size() < 2) return jpeg;
    const QByteArray payload = QByteArray("Exif\0\0", 6) + exifBytes(*exif);
    const QByteArray segment =
        QByteArray("\xFF\xE1", 2) + u16(quint16(payload.size() + 2), true) + payload;
    return jpeg.insert(2, segment);
}

QByteArray tiffBytes(int width, int height, const ExifSpec& exif)
{
    const bool be = exif.bigEndian;
    const QByteArray pixels(qsizetype(width) * height, char(0x80));
    QList<TiffEntry> ifd0 = {
        longEntry(0x0100, quint32(width), be),         // ImageWidth
        longEntry(0x0101, quint32(height), be),        // ImageLength
        shortEntry(0x0102, 8, be),                     // BitsPerSample
        shortEntry(0x0103, 1, be),                     // Compression: none
        shortEntry(0x0106, 1, be),                     // Photometric: black is zero
        longEntry(0x0111, 8, be),                      // StripOffsets
        shortEntry(0x0115, 1, be),                     // SamplesPerPixel
        longEntry(0x0116, quint32(height), be),        // RowsPerStrip
        longEntry(0x0117, quint32(pixels.size()), be), // StripByteCounts
    };
    QList<TiffEntry> exifIfd;
    addCameraEntries(exif, ifd0, exifIfd);
    return tiffStructure(be, pixels, ifd0, exifIfd);
}

QByteArray gifBytes(int width, int height)
{
    QByteArray gif = "GIF89a" + le16(quint16(width)) + le16(quint16(height));
    gif += QByteArray("\x80\x00\x00", 3); // a global table of two colours
    gif += QByteArray("\x28\x78\xC8\xFF\xFF\xFF", 6);
    gif += ',' + le16(0) + le16(0) + le16(quint16(width)) + le16(quint16(height)) + '\0';
    // LZW with a minimum code size of 2, written as "clear, pixel, pixel" over and
    // over: the code table never grows past 3-bit codes, so no compressor is needed.
    constexpr int kClear = 4;
    constexpr int kEnd = 5;
    QByteArray codes;
    quint32 bits = 0;
    int bitCount = 0;
    const auto put = [&](int code) {
        bits |= quint32(code) << bitCount;
        bitCount += 3;
        while (bitCount >= 8) {
            codes += char(bits & 0xFF);
            bits >>= 8;
            bitCount -= 8;
        }
    };
    const qsizetype pixels = qsizetype(width) * height;
    for (qsizetype i = 0; i < pixels; ++i) {
        if (i % 2 == 0) put(kClear);
        put(0);
    }
    put(kEnd);
    if (bitCount > 0) codes += char(bits & 0xFF);
    gif += '\x02';
    for (qsizetype at = 0; at < codes.size(); at += 255) {
        const QByteArray block = codes.mid(at, 255);
        gif += char(block.size()) + block;
    }
    gif += '\0';
    gif += ';';
    return gif;
}

QByteArray bmpBytes(int width, int height)
{
    return encodeImage(filledImage(width, height), "BMP");
}

// Audio and video

QByteArray wavBytes(double seconds, const MediaTags& tags)
{
    constexpr quint32 kRate = 8000;
    const quint32 samples = quint32(std::llround(seconds * kRate));
    QByteArray fmt = le16(1) + le16(1) + le32(kRate) + le32(kRate * 2) + le16(2) + le16(16);
    QByteArray info = "INFO";
    const std::pair<const char*, QString> fields[] = {
        {"INAM", tags.title}, {"IART", tags.artist}, {"IPRD", tags.album}, {"IGNR", tags.genre}};
    for (const auto& [id, value] : fields) {
        if (value.isEmpty()) continue;
        QByteArray text = value.toUtf8() + '\0';
        info += QByteArray(id) + le32(quint32(text.size())) + text;
        if (text.size() & 1) info += '\0';
    }
    QByteArray body = "WAVE";
    body += "fmt " + le32(quint32(fmt.size())) + fmt;
    if (info.size() > 4) body += "LIST" + le32(quint32(info.size())) + info;
    body += "data" + le32(samples * 2) + QByteArray(qsizetype(samples) * 2, '\0');
    return "RIFF" + le32(quint32(body.size())) + body;
}

bool canEncode(const QString& extension)
{
    const Codecs codecs = codecsFor(extension.toLower());
    if (codecs.audio.isEmpty()) return false;
    const QByteArray name = ("fixture." + extension).toUtf8();
    if (!av_guess_format(nullptr, name.constData(), nullptr)) return false;
    if (codecs.video && !avcodec_find_encoder_by_name(codecs.video)) return false;
    return audioEncoder(codecs) != nullptr;
}

bool writeAudio(const QString& path, double seconds, const MediaTags& tags)
{
    const bool written = MediaWriter(path).write(0, 0, seconds, true, tags);
    if (!written) ADD_FAILURE() << "cannot encode the audio fixture " << path.toStdString();
    return written;
}

bool writeVideo(const QString& path, int width, int height, double seconds, bool withAudio,
                const MediaTags& tags)
{
    const bool written = MediaWriter(path).write(width, height, seconds, withAudio, tags);
    if (!written) ADD_FAILURE() << "cannot encode the video fixture " << path.toStdString();
    return written;
}

// PDF

bool writePdf(const QString& path, const PdfSpec& spec)
{
    ensureGuiApplication();
    {
        QPdfWriter writer(path);
        writer.setTitle(spec.title);
        writer.setCreator(QStringLiteral("Ovra tests"));
        writer.setPageSize(QPageSize(QPageSize::A6));
        writer.setResolution(72);
        QPainter painter;
        if (!painter.begin(&writer)) {
            ADD_FAILURE() << "cannot write the PDF fixture " << path.toStdString();
            return false;
        }
        const QRect page(0, 0, writer.width(), writer.height());
        QFont font(QStringLiteral("DejaVu Sans"));
        font.setPixelSize(14);
        for (int i = 0; i < spec.pages; ++i) {
            if (i > 0) writer.newPage();
            const QString text = i < spec.pageTexts.size() ? spec.pageTexts[i]
                                                           : QStringLiteral("Page %1").arg(i + 1);
            const int flags = Qt::AlignCenter | Qt::TextWordWrap;
            if (spec.textLayer) {
                painter.setFont(font);
                painter.drawText(page.adjusted(16, 16, -16, -16), flags, text);
            } else {
                // Twice the page's resolution, so text recognition has pixels to read.
                QImage picture(page.size() * 2, QImage::Format_RGB32);
                picture.fill(Qt::white);
                QPainter picturePainter(&picture);
                QFont large = font;
                large.setPixelSize(28);
                picturePainter.setFont(large);
                picturePainter.drawText(picture.rect().adjusted(32, 32, -32, -32), flags, text);
                picturePainter.end();
                painter.drawImage(page, picture);
            }
        }
        painter.end();
    }
    if (!spec.author.isEmpty() && !appendInfo(path, spec.title, spec.author)) {
        ADD_FAILURE() << "cannot add the author to " << path.toStdString();
        return false;
    }
    return true;
}

bool writeLockedPdf(const QString& path)
{
    // The standard security handler, revision 2, with owner and user keys that no
    // password (the empty one included) produces.
    const QByteArray key32 = QByteArray(32, '\x5A').toHex();
    const QList<QByteArray> objects = {
        "<< /Type /Catalog /Pages 2 0 R >>",
        "<< /Type /Pages /Kids [3 0 R] /Count 1 >>",
        "<< /Type /Page /Parent 2 0 R /MediaBox [0 0 200 200] >>",
        "<< /Filter /Standard /V 1 /R 2 /O <" + key32 + "> /U <" + key32 + "> /P -44 >>",
    };
    const QByteArray id = QByteArray(16, '\x11').toHex();
    const QByteArray pdf =
        handWrittenPdf(objects, "/Encrypt 4 0 R /ID [<" + id + "> <" + id + ">]");
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) || file.write(pdf) != pdf.size()) {
        ADD_FAILURE() << "cannot write the locked PDF fixture " << path.toStdString();
        return false;
    }
    return true;
}

} // namespace ovra::test
