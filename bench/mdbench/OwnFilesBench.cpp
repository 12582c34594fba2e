#include "OwnFilesBench.h"

#include "common/BenchOutput.h"

#include "desktop/IconTheme.h"
#include "platform/SettingsStore.h"
#include "platform/thumbnails/SharedThumbnailCache.h"

#include <QBuffer>
#include <QDir>
#include <QFile>
#include <QImage>
#include <QImageReader>
#include <QImageWriter>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <cstdio>
#include <functional>

namespace ovra::bench {
namespace {

constexpr const char* kBench = "ownfiles";

bool writeFile(const QString& path, const QByteArray& bytes)
{
    QDir().mkpath(QFileInfo(path).absolutePath());
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

// A figure of /proc/self/status ("VmRSS", "VmHWM"), in bytes; 0 when it
// cannot be read.
double statusBytes(const QByteArray& field)
{
    QFile status(QStringLiteral("/proc/self/status"));
    if (!status.open(QIODevice::ReadOnly)) return 0;
    for (const QByteArray& line : status.readAll().split('\n'))
        if (line.startsWith(field + ':'))
            return line.mid(field.size() + 1).trimmed().split(' ').value(0).toDouble() * 1024;
    return 0;
}

// The resident memory a piece of work adds at its peak: the kernel's high-water
// mark is set back to what is resident now before it starts.
class PeakGrowth {
public:
    PeakGrowth()
    {
        QFile reset(QStringLiteral("/proc/self/clear_refs"));
        if (reset.open(QIODevice::WriteOnly)) reset.write("5");
        m_before = statusBytes("VmRSS");
    }
    double bytes() const { return std::max(0.0, statusBytes("VmHWM") - m_before); }

private:
    double m_before = 0;
};

void settings(const QString& folder, long long keys)
{
    QByteArray text = "[General]\n";
    for (long long i = 0; i < keys; ++i)
        text += "key" + QByteArray::number(i) + "=value of key " + QByteArray::number(i) + '\n';
    const QString path = folder + QStringLiteral("/Ovra.conf");
    if (!writeFile(path, text)) return;
    const QString count = QString::number(keys);
    Stopwatch read;
    auto store = std::make_unique<SettingsStore>(path);
    report(kBench, QStringLiteral("settings_%1_keys_read_ms").arg(count), read.elapsedMs(), "ms");
    Stopwatch save;
    store->setText("added", QStringLiteral("x"));
    // The store waits for its save as it goes.
    store.reset();
    report(kBench, QStringLiteral("settings_%1_keys_save_ms").arg(count), save.elapsedMs(), "ms");
}

void iconTheme(const QString& folder, long long repeats)
{
    const QString icons = folder + QStringLiteral("/icons");
    QByteArray directories;
    for (long long i = 0; i < repeats; ++i)
        directories += i == 0 ? "16x16/apps" : ",16x16/apps";
    if (!writeFile(icons + QStringLiteral("/Repeats/index.theme"),
                   "[Icon Theme]\nName=Repeats\nDirectories=" + directories +
                       "\n\n[16x16/apps]\nSize=16\n") ||
        !writeFile(icons + QStringLiteral("/Repeats/16x16/apps/found.png"), "x"))
        return;
    Stopwatch watch;
    IconTheme theme(QStringLiteral("Repeats"), {icons});
    const bool found = !theme.iconFile({QStringLiteral("found")}, 16).isEmpty();
    report(kBench, QStringLiteral("icon_theme_%1_repeated_folders_ms").arg(repeats),
           watch.elapsedMs(), "ms");
    if (!found) std::fprintf(stderr, "the repeated folder's icon was not found\n");
}

QByteArray bigEndian(quint32 value)
{
    const char bytes[] = {char(value >> 24), char(value >> 16), char(value >> 8), char(value)};
    return QByteArray(bytes, sizeof bytes);
}

quint32 crc32(QByteArrayView bytes)
{
    static const std::array<quint32, 256> table = [] {
        std::array<quint32, 256> entries{};
        for (quint32 n = 0; n < entries.size(); ++n) {
            quint32 c = n;
            for (int bit = 0; bit < 8; ++bit)
                c = c & 1 ? (c >> 1) ^ 0xedb88320 : c >> 1;
            entries[n] = c;
        }
        return entries;
    }();
    quint32 crc = 0xffffffff;
    for (const char byte : bytes)
        crc = table[(crc ^ quint8(byte)) & 0xff] ^ (crc >> 8);
    return ~crc;
}

// With its checksum: a PNG reader drops an ancillary chunk whose checksum is
// wrong before it inflates anything in it.
QByteArray chunk(const QByteArray& type, const QByteArray& data)
{
    return bigEndian(quint32(data.size())) + type + data + bigEndian(crc32(type + data));
}

// A 128-pixel thumbnail with `chunks` before its pixels.
QByteArray thumbnailWith(const QByteArray& chunks)
{
    QImage image(QSize(128, 96), QImage::Format_RGB32);
    image.fill(Qt::darkCyan);
    QByteArray bytes;
    QBuffer buffer(&bytes);
    buffer.open(QIODevice::WriteOnly);
    QImageWriter(&buffer, "png").write(image);
    constexpr qsizetype kSignatureAndHeader = 8 + 25;
    bytes.insert(kSignatureAndHeader, chunks);
    return bytes;
}

// The same grown to the largest stored picture the cache takes.
QByteArray thumbnailAtTheCap(const QByteArray& chunks)
{
    QByteArray filled = chunks;
    const qsizetype room =
        SharedThumbnailCache::kMaxStoredBytes - thumbnailWith({}).size() - filled.size();
    if (room > 12) filled += chunk("ofFs", QByteArray(room - 12, 'z'));
    return thumbnailWith(filled).left(SharedThumbnailCache::kMaxStoredBytes);
}

// A colour profile of `bytes` whose table of tags fills it: a reader looks up
// every tag.
QByteArray profileOfTags(qsizetype bytes)
{
    constexpr qsizetype kHeader = 128;
    constexpr qsizetype kTag = 12;
    const auto tags = quint32((bytes - kHeader - 4) / kTag);
    QByteArray header(kHeader, '\0');
    header.replace(0, 4, bigEndian(quint32(bytes)));
    header.replace(8, 12, QByteArray("\x04\x30\x00\x00mntrRGB ", 12));
    header.replace(20, 4, "XYZ ");
    header.replace(36, 4, "acsp");
    // The D50 white point.
    header.replace(68, 12, bigEndian(0xF6D6) + bigEndian(0x10000) + bigEndian(0xD32D));
    // Every tag an empty red curve at the table's start.
    const QByteArray tag = QByteArray("rTRC") + bigEndian(quint32(kHeader + 4)) + bigEndian(0);
    QByteArray profile = header + bigEndian(tags) + tag.repeated(tags);
    return profile + QByteArray(bytes - profile.size(), '\0');
}

// Every stored picture a program could leave in the cache: at the cap, many
// compressed texts (each inflating to megabytes), many tiny chunks, and one
// chunk the size of the file; and a thumbnail with a text, a text and a colour
// profile, or a suggested palette, each megabytes to a reader. Each is read
// from the disk, judged, and decoded when it passes, as a stored thumbnail is
// served.
void storedThumbnails(const QString& folder)
{
    const QByteArray inflating = qCompress(QByteArray(7'900'000, 'A'), 9).mid(4);
    QByteArray texts;
    for (int i = 0;
         texts.size() + inflating.size() < SharedThumbnailCache::kMaxStoredBytes - 64 * 1024; ++i)
        texts += chunk("zTXt", "K" + QByteArray::number(i) + '\0' + '\0' + inflating);
    const QByteArray tiny =
        chunk("abCd", {}).repeated(SharedThumbnailCache::kMaxStoredBytes / 12 - 64);
    // One text and one profile that inflate to megabytes from a few kilobytes
    // stored, and a suggested palette of megabytes.
    const QByteArray oneText = chunk("zTXt", QByteArray("Thumb::Junk\0\0", 13) + inflating);
    const QByteArray profile =
        chunk("iCCP", QByteArray("icc\0\0", 5) + qCompress(profileOfTags(7'900'000), 9).mid(4));
    const QByteArray palette = chunk(
        "sPLT", QByteArray("p\0\x08", 3) + QByteArray("\1\2\3\4\0\5", 6).repeated(7'900'000 / 6));
    const std::vector<std::pair<const char*, QByteArray>> shapes = {
        {"many_compressed_texts", thumbnailAtTheCap(texts)},
        {"many_tiny_chunks", thumbnailAtTheCap(tiny)},
        {"one_file_long_chunk", thumbnailAtTheCap({})},
        {"one_compressed_text", thumbnailWith(oneText)},
        {"compressed_text_and_profile", thumbnailWith(oneText + profile)},
        {"suggested_palette", thumbnailWith(palette)},
    };
    for (const auto& [name, bytes] : shapes) {
        const QString path = folder + u'/' + QLatin1String(name) + QStringLiteral(".png");
        if (!writeFile(path, bytes)) return;
        const PeakGrowth peak;
        const double cpuBefore = threadCpuMs();
        Stopwatch watch;
        std::optional<QByteArray> stored = SharedThumbnailCache::readStored(path, 128);
        QImage image;
        if (stored && SharedThumbnailCache::pictureSize(*stored).isValid()) {
            QBuffer buffer(&*stored);
            buffer.open(QIODevice::ReadOnly);
            image = QImageReader(&buffer, "png").read();
        }
        const double wall = watch.elapsedMs();
        const QString metric = QStringLiteral("thumbnail_") + QLatin1String(name);
        report(kBench, metric + QStringLiteral("_served_cpu_ms"), threadCpuMs() - cpuBefore, "ms");
        report(kBench, metric + QStringLiteral("_served_ms"), wall, "ms");
        report(kBench, metric + QStringLiteral("_peak_growth_bytes"), peak.bytes(), "bytes");
        report(kBench, metric + QStringLiteral("_bytes"), double(bytes.size()), "bytes");
        std::fprintf(stderr, "%s: %s\n", name,
                     !stored          ? "refused"
                     : image.isNull() ? "passed, not decoded"
                                      : "passed and decoded");
    }
}

} // namespace

int runOwnFilesBench(const Arguments& args)
{
    if (const QString unknown = args.firstUnknown({"--keys", "--repeats"}); !unknown.isEmpty()) {
        std::fprintf(stderr, "unknown argument: %s\n", qPrintable(unknown));
        return 2;
    }
    QTemporaryDir folder;
    if (!folder.isValid()) {
        std::fprintf(stderr, "no temporary folder\n");
        return 1;
    }
    report(kBench, QStringLiteral("load_average"), loadAverage(), "load");
    settings(folder.path(), args.integer(QStringLiteral("--keys"), 60'000));
    iconTheme(folder.path(), args.integer(QStringLiteral("--repeats"), 200'000));
    storedThumbnails(folder.path());
    return 0;
}

} // namespace ovra::bench
