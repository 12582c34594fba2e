#include "ImageHeaderReader.h"

#include "ByteSource.h"
#include "ExifReader.h"

#include <QByteArray>
#include <QString>

#include <algorithm>
#include <array>
#include <cstdint>
#include <limits>

namespace ovra::md {

namespace {

// Limits on what a damaged or hostile file can make us walk through. Real files
// stay far below each.
constexpr int kMaxPngChunks = 4096;
constexpr std::uint32_t kMaxPngTextLength = 64 * 1024;
// A zTXt/iTXt value is inflated only when its compressed form is this small, so
// the inflated size stays bounded too (deflate expands at most ~1000:1).
constexpr std::uint32_t kMaxPngCompressedTextLength = 4 * 1024;
constexpr int kMaxJpegSegments = 1024;
constexpr int kMaxJpegFillBytes = 64 * 1024;
constexpr int kMaxRiffChunks = 256;
constexpr int kMaxBoxes = 1024;

std::optional<int> positive(std::uint64_t value)
{
    if (value == 0 || value > std::uint64_t(std::numeric_limits<int>::max())) return std::nullopt;
    return int(value);
}

void setSize(ContentAttributes& out, std::uint64_t width, std::uint64_t height)
{
    const auto w = positive(width);
    const auto h = positive(height);
    if (!w || !h) return;
    out.pixelWidth = w;
    out.pixelHeight = h;
}

void takeExif(const TiffFields& exif, ContentAttributes& out)
{
    if (exif.make) out.acquisitionMake = exif.make;
    if (exif.model) out.acquisitionModel = exif.model;
    if (exif.dateTimeOriginal) out.contentCreationDate = exif.dateTimeOriginal;
}

// PNG

constexpr char kPngSignature[] = "\x89PNG\r\n\x1a\n";

std::optional<QString> pngSoftwareText(const ByteSource& s, QByteArrayView type, std::uint64_t at,
                                       std::uint32_t length)
{
    if (length > kMaxPngTextLength) return std::nullopt;
    QByteArray data(length, Qt::Uninitialized);
    if (!s.read(at, data.data(), length)) return std::nullopt;
    const qsizetype keyEnd = data.indexOf('\0');
    if (keyEnd < 0 || data.left(keyEnd) != "Software") return std::nullopt;
    QByteArray rest = data.mid(keyEnd + 1);

    const auto inflate = [](QByteArray compressed) -> std::optional<QByteArray> {
        if (compressed.size() > qsizetype(kMaxPngCompressedTextLength)) return std::nullopt;
        // qUncompress wants the expected size first; it is only a starting guess.
        const char hint[4] = {0, 0, 0x10, 0};
        compressed.prepend(hint, 4);
        QByteArray inflated = qUncompress(compressed);
        if (inflated.isEmpty()) return std::nullopt;
        return inflated;
    };

    if (type == "tEXt") return QString::fromLatin1(rest);
    if (type == "zTXt") {
        if (rest.isEmpty() || rest.at(0) != 0) return std::nullopt; // method 0 is zlib
        const auto text = inflate(rest.mid(1));
        if (!text) return std::nullopt;
        return QString::fromLatin1(*text);
    }
    // iTXt: compression flag, method, language tag\0, translated keyword\0, text.
    if (rest.size() < 2) return std::nullopt;
    const bool compressed = rest.at(0) != 0;
    qsizetype at2 = 2;
    for (int skip = 0; skip < 2; ++skip) {
        const qsizetype nul = rest.indexOf('\0', at2);
        if (nul < 0) return std::nullopt;
        at2 = nul + 1;
    }
    QByteArray text = rest.mid(at2);
    if (compressed) {
        const auto inflated = inflate(text);
        if (!inflated) return std::nullopt;
        text = *inflated;
    }
    return QString::fromUtf8(text);
}

void readPng(const ByteSource& s, ContentAttributes& out)
{
    std::uint64_t at = 8;
    for (int i = 0; i < kMaxPngChunks; ++i) {
        const auto length = s.u32(at, true);
        std::array<char, 4> typeBytes;
        if (!length || !s.read(at + 4, typeBytes.data(), 4)) return;
        const QByteArrayView type(typeBytes.data(), 4);
        const std::uint64_t data = at + 8;
        if (type == "IHDR") {
            const auto w = s.u32(data, true);
            const auto h = s.u32(data + 4, true);
            if (w && h) setSize(out, *w, *h);
        } else if (type == "tEXt" || type == "zTXt" || type == "iTXt") {
            if (const auto software = pngSoftwareText(s, type, data, *length))
                out.isScreenCapture =
                    out.isScreenCapture || ImageHeaderReader::isScreenshotSoftware(*software);
        } else if (type == "IDAT" || type == "IEND") {
            // Every PNG library writes its texts ahead of the image data; walking
            // the data chunks would read the whole file for nothing.
            return;
        }
        at = data + std::uint64_t(*length) + 4; // data, then the CRC
    }
}

// JPEG

bool isStartOfFrame(std::uint8_t marker)
{
    // SOF0–SOF15, except DHT (C4), JPG (C8) and DAC (CC), which share the range.
    return marker >= 0xC0 && marker <= 0xCF && marker != 0xC4 && marker != 0xC8 && marker != 0xCC;
}

void readJpeg(const ByteSource& s, ContentAttributes& out)
{
    std::uint64_t at = 2;
    for (int i = 0; i < kMaxJpegSegments; ++i) {
        if (s.u8(at) != 0xFF) return;
        // Any number of 0xFF fill bytes may precede a marker.
        std::optional<std::uint8_t> marker;
        int fill = 0;
        do {
            ++at;
            marker = s.u8(at);
        } while (marker == 0xFF && ++fill < kMaxJpegFillBytes);
        if (!marker || *marker == 0xFF) return;
        ++at;
        if (*marker == 0xD9 || *marker == 0xDA) return; // end of image, start of scan
        // Markers that stand alone, without a length.
        if ((*marker >= 0xD0 && *marker <= 0xD8) || *marker == 0x01 || *marker == 0x00) continue;
        const auto length = s.u16(at, true);
        if (!length || *length < 2) return;
        const std::uint64_t data = at + 2;
        const std::uint64_t dataLength = *length - 2u;
        if (isStartOfFrame(*marker) && dataLength >= 5) {
            const auto h = s.u16(data + 1, true);
            const auto w = s.u16(data + 3, true);
            if (w && h && !out.pixelWidth) setSize(out, *w, *h);
        } else if (*marker == 0xE1 && s.matches(data, QByteArrayView("Exif\0\0", 6))) {
            takeExif(ExifReader::readTiff(SubByteSource(
                         s, data + 6, dataLength - std::min<std::uint64_t>(dataLength, 6))),
                     out);
        }
        at = data + dataLength;
    }
}

// GIF and BMP

void readGif(const ByteSource& s, ContentAttributes& out)
{
    const auto w = s.u16(6, false);
    const auto h = s.u16(8, false);
    if (w && h) setSize(out, *w, *h);
}

void readBmp(const ByteSource& s, ContentAttributes& out)
{
    const auto headerSize = s.u32(14, false);
    if (!headerSize) return;
    if (*headerSize == 12) { // OS/2 BITMAPCOREHEADER: 16-bit unsigned sizes
        const auto w = s.u16(18, false);
        const auto h = s.u16(20, false);
        if (w && h) setSize(out, *w, *h);
        return;
    }
    if (*headerSize < 16) return;
    const auto w = s.u32(18, false);
    const auto h = s.u32(22, false);
    if (!w || !h) return;
    // Signed: a negative height marks a top-down bitmap.
    const auto magnitude = [](std::uint32_t v) -> std::uint64_t {
        const auto sv = static_cast<std::int32_t>(v);
        return sv < 0 ? std::uint64_t(-std::int64_t(sv)) : std::uint64_t(sv);
    };
    if (static_cast<std::int32_t>(*w) <= 0) return;
    setSize(out, *w, magnitude(*h));
}

// WebP

void readWebp(const ByteSource& s, ContentAttributes& out)
{
    const auto riffSize = s.u32(4, false);
    if (!riffSize) return;
    const std::uint64_t end = std::min<std::uint64_t>(s.size(), std::uint64_t(*riffSize) + 8);
    std::uint64_t at = 12;
    // The extended form gives the canvas size, and its EXIF chunk follows the
    // image data; the simple forms are one chunk of image data and nothing else.
    bool extended = false;
    for (int i = 0; i < kMaxRiffChunks && at + 8 <= end; ++i) {
        std::array<char, 4> idBytes;
        const auto length = s.u32(at + 4, false);
        if (!s.read(at, idBytes.data(), 4) || !length) return;
        const QByteArrayView id(idBytes.data(), 4);
        const std::uint64_t data = at + 8;
        if (id == "VP8 ") {
            // A key frame: 3 bytes of frame tag, the start code, then 14-bit sizes.
            const auto w = s.u16(data + 6, false);
            const auto h = s.u16(data + 8, false);
            if (s.matches(data + 3, "\x9d\x01\x2a") && w && h && !extended)
                setSize(out, *w & 0x3FFF, *h & 0x3FFF);
            if (!extended) return;
        } else if (id == "VP8L") {
            const auto signature = s.u8(data);
            const auto bits = s.u32(data + 1, false);
            if (signature == 0x2F && bits && !extended)
                setSize(out, (*bits & 0x3FFF) + 1, ((*bits >> 14) & 0x3FFF) + 1);
            if (!extended) return;
        } else if (id == "VP8X") {
            const auto w = s.u24le(data + 4);
            const auto h = s.u24le(data + 7);
            if (w && h) setSize(out, std::uint64_t(*w) + 1, std::uint64_t(*h) + 1);
            // Go on: the EXIF chunk comes after the image data.
            extended = true;
        } else if (id == "EXIF") {
            // Some writers keep JPEG's "Exif\0\0" prefix; the format says not to.
            const std::uint64_t skip = s.matches(data, QByteArrayView("Exif\0\0", 6)) ? 6 : 0;
            takeExif(ExifReader::readTiff(SubByteSource(
                         s, data + skip, *length - std::min<std::uint64_t>(*length, skip))),
                     out);
            return;
        }
        at = data + *length + (*length & 1); // chunks are padded to even sizes
    }
}

// HEIF and AVIF (ISO base media boxes)

struct Box {
    std::uint64_t start = 0;
    std::uint64_t contentStart = 0; // after the size and type (and large size)
    std::uint64_t end = 0;
    std::array<char, 4> type{};
};

// The box at `at`, clipped to `limit`; nothing when it is damaged.
std::optional<Box> boxAt(const ByteSource& s, std::uint64_t at, std::uint64_t limit)
{
    const auto size32 = s.u32(at, true);
    Box box;
    if (!size32 || !s.read(at + 4, box.type.data(), 4)) return std::nullopt;
    box.start = at;
    box.contentStart = at + 8;
    std::uint64_t size = *size32;
    if (size == 1) {
        const auto large = s.u64be(at + 8);
        if (!large) return std::nullopt;
        size = *large;
        box.contentStart = at + 16;
    } else if (size == 0) {
        size = limit - at; // to the end of the enclosing box
    }
    if (size < box.contentStart - at || size > limit - at) return std::nullopt;
    box.end = at + size;
    return box;
}

template <typename Visit>
void forEachBox(const ByteSource& s, std::uint64_t from, std::uint64_t to, int& budget,
                Visit&& visit)
{
    std::uint64_t at = from;
    while (at < to && budget-- > 0) {
        const auto box = boxAt(s, at, to);
        if (!box) return;
        if (visit(*box)) return;
        at = box->end;
    }
}

bool isHeifBrand(QByteArrayView brand)
{
    static constexpr const char* kBrands[] = {"heic", "heix", "hevc", "hevx", "heim", "heis",
                                              "mif1", "msf1", "avif", "avis", "mif2"};
    return std::any_of(std::begin(kBrands), std::end(kBrands),
                       [&](const char* b) { return brand == QByteArrayView(b, 4); });
}

bool isHeif(const ByteSource& s)
{
    const auto ftyp = boxAt(s, 0, s.size());
    if (!ftyp || QByteArrayView(ftyp->type.data(), 4) != "ftyp") return false;
    // The major brand, then (after the minor version) the compatible brands.
    for (std::uint64_t at = ftyp->contentStart;
         at + 4 <= ftyp->end && at - ftyp->contentStart < 256;
         at += (at == ftyp->contentStart ? 8 : 4)) {
        std::array<char, 4> brand;
        if (!s.read(at, brand.data(), 4)) return false;
        if (isHeifBrand(QByteArrayView(brand.data(), 4))) return true;
    }
    return false;
}

void readHeif(const ByteSource& s, ContentAttributes& out)
{
    // meta (a full box) > iprp > ipco > ispe. A file holds an ispe for the main
    // image and smaller ones for its tiles and thumbnail: the largest is the image.
    int budget = kMaxBoxes;
    std::uint64_t bestWidth = 0;
    std::uint64_t bestHeight = 0;
    const auto is = [](const Box& b, const char* type) {
        return QByteArrayView(b.type.data(), 4) == QByteArrayView(type, 4);
    };
    forEachBox(s, 0, s.size(), budget, [&](const Box& meta) {
        if (!is(meta, "meta")) return false;
        forEachBox(s, meta.contentStart + 4, meta.end, budget, [&](const Box& iprp) {
            if (!is(iprp, "iprp")) return false;
            forEachBox(s, iprp.contentStart, iprp.end, budget, [&](const Box& ipco) {
                if (!is(ipco, "ipco")) return false;
                forEachBox(s, ipco.contentStart, ipco.end, budget, [&](const Box& ispe) {
                    if (!is(ispe, "ispe")) return false;
                    const auto w = s.u32(ispe.contentStart + 4, true);
                    const auto h = s.u32(ispe.contentStart + 8, true);
                    if (w && h && ispe.contentStart + 12 <= ispe.end &&
                        std::uint64_t(*w) * *h > bestWidth * bestHeight) {
                        bestWidth = *w;
                        bestHeight = *h;
                    }
                    return false;
                });
                return true;
            });
            return true;
        });
        return true;
    });
    setSize(out, bestWidth, bestHeight);
}

} // namespace

bool ImageHeaderReader::isScreenshotSoftware(QStringView software)
{
    const QString value = software.trimmed().toString().toLower();
    // GNOME Shell's own screenshot UI writes its window title, plain "Screenshot".
    if (value == u"screenshot") return true;
    static constexpr const char16_t* kTools[] = {u"gnome-screenshot", u"spectacle", u"flameshot",
                                                 u"xfce4-screenshooter"};
    return std::any_of(std::begin(kTools), std::end(kTools),
                       [&](const char16_t* tool) { return value.contains(QStringView(tool)); });
}

void ImageHeaderReader::read(const ByteSource& s, ContentAttributes& out)
{
    if (s.matches(0, QByteArrayView(kPngSignature, 8)))
        readPng(s, out);
    else if (s.matches(0, "\xFF\xD8\xFF"))
        readJpeg(s, out);
    else if (s.matches(0, "GIF87a") || s.matches(0, "GIF89a"))
        readGif(s, out);
    else if (s.matches(0, "BM"))
        readBmp(s, out);
    else if (s.matches(0, "RIFF") && s.matches(8, "WEBP"))
        readWebp(s, out);
    else if (s.matches(0, QByteArrayView("II*\0", 4)) || s.matches(0, QByteArrayView("MM\0*", 4))) {
        const TiffFields tiff = ExifReader::readTiff(s);
        if (tiff.imageWidth && tiff.imageHeight) setSize(out, *tiff.imageWidth, *tiff.imageHeight);
        takeExif(tiff, out);
    } else if (isHeif(s))
        readHeif(s, out);
}

} // namespace ovra::md
