#include "SharedThumbnailCache.h"

#include "platform/AtomicSave.h"
#include "platform/OwnFile.h"
#include "platform/PathKey.h"
#include "platform/XdgPaths.h"

#include <QByteArrayView>
#include <QCryptographicHash>
#include <QFile>
#include <QFileInfo>

#include <algorithm>
#include <array>
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#define ZLIB_CONST
#include <zlib.h>

#ifndef OVRA_VERSION
#error "OVRA_VERSION must name this build's version"
#endif

namespace ovra::SharedThumbnailCache {

namespace {

constexpr mode_t kFolderMode = 0700;
// The cache asks for files only their owner can read.
constexpr mode_t kFileMode = 0600;
// A link in the cache is no picture of ours: it is neither read nor saved through.
constexpr OwnFile::Rule kFileRule{kMaxStoredBytes, OwnFile::Links::notFollowed};
constexpr qsizetype kMd5HexLength = 32;

// The bytes a URI path keeps as they are: the unreserved characters and the
// sub-delimiters "/", "&", "=", ":", "@", "+", "$" and ",". This is the set
// the other desktop libraries escape with, and the MD5 of the URI only names
// the same file for all of us if we agree on it byte for byte.
bool keepsInUri(unsigned char c)
{
    if ((c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9')) return true;
    static constexpr QByteArrayView kKept("-_.!~*'()/&=:@+$,");
    return kKept.contains(char(c));
}

// The name of a picture in the cache: the MD5 of its file's URI, in lower-case
// hex, and ".png".
bool isPictureName(QByteArrayView name)
{
    if (name.size() != kMd5HexLength + 4 || !name.endsWith(".png")) return false;
    return std::all_of(name.begin(), name.begin() + kMd5HexLength,
                       [](char c) { return (c >= '0' && c <= '9') || (c >= 'a' && c <= 'f'); });
}

QString md5Name(const QString& uri)
{
    const QByteArray digest = QCryptographicHash::hash(uri.toUtf8(), QCryptographicHash::Md5);
    return QString::fromLatin1(digest.toHex()) + QStringLiteral(".png");
}

// This build's own, as the cache asks of each program.
QString failureFolder()
{
    return root() + QStringLiteral("/fail/ovra-") + QStringLiteral(OVRA_VERSION);
}

// mkdir -p with our mode for the folders we make; existing ones are left as
// they are.
bool makeFolders(const QString& folder)
{
    const QByteArray path = QFile::encodeName(folder);
    for (qsizetype i = 1; i <= path.size(); ++i) {
        if (i < path.size() && path[i] != '/') continue;
        const QByteArray prefix = path.left(i);
        if (::mkdir(prefix.constData(), kFolderMode) != 0 && errno != EEXIST) return false;
    }
    struct stat st {};
    return ::stat(path.constData(), &st) == 0 && S_ISDIR(st.st_mode);
}

constexpr QByteArrayView kPngSignature("\x89PNG\r\n\x1a\n", 8);
// A chunk's length and type before its data, and its checksum after it.
constexpr qsizetype kChunkHead = 8;
constexpr qsizetype kChunkTail = 4;
constexpr quint32 kHeaderLength = 13;
// A picture of the largest folder's side, as the PNG libraries write one, is a
// thousand or so chunks of 8 KiB. A reader pays a round of calls for every
// chunk, and a file of empty chunks up to the cap holds most of a million.
constexpr int kMaxChunks = 4096;
// A thumbnail's keys are a handful of short texts (the URI, the modification
// time, the size and MIME type of the file, a picture's or document's
// dimensions, the program that made it), and a PNG reader inflates and copies
// every text it meets before the first pixel: a picture that carries more than
// the keys need is no thumbnail. A program that adds a few keys of its own
// still stays within this many ...
constexpr int kMaxTextChunks = 16;
// ... and these many bytes of them as stored (a URI of the longest path, every
// byte escaped, is 12 KiB) ...
constexpr qsizetype kMaxTextBytes = 32 * 1024;
// ... of which these may be compressed (that URI deflates to under 5 KiB).
constexpr qsizetype kMaxCompressedTextBytes = 8 * 1024;
// Deflate expands a thousandfold, so a few kilobytes stored say nothing of what
// a reader inflates: the gate inflates the compressed texts and the colour
// profile itself, keeping none of it, and a picture whose chunks inflate to
// more than this in all is refused. The keys, that URI among them, need a fifth
// of it.
constexpr qsizetype kMaxInflatedBytes = 64 * 1024;
// A picture's colour profile is a few hundred bytes for a display's colours and
// a few kilobytes for sRGB's own; a reader parses every tag of it. A larger one,
// stored or inflated, is no thumbnail's.
constexpr qsizetype kMaxProfileBytes = 16 * 1024;
// Inflated a piece at a time into a buffer that is thrown away.
constexpr qsizetype kInflateSinkBytes = 4096;

quint32 bigEndian32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

// The number of bytes a zlib stream inflates to, found without keeping them
// and never inflating much past `limit`; none when the stream is damaged, cut
// short, or inflates to more than `limit`.
std::optional<qsizetype> inflatedSize(QByteArrayView compressed, qsizetype limit)
{
    z_stream stream{};
    if (inflateInit(&stream) != Z_OK) return std::nullopt;
    stream.next_in = reinterpret_cast<const Bytef*>(compressed.data());
    stream.avail_in = uInt(compressed.size());
    std::array<Bytef, kInflateSinkBytes> sink;
    int result = Z_OK;
    while (result == Z_OK && qsizetype(stream.total_out) <= limit) {
        stream.next_out = sink.data();
        stream.avail_out = uInt(sink.size());
        result = inflate(&stream, Z_NO_FLUSH);
    }
    const auto produced = qsizetype(stream.total_out);
    inflateEnd(&stream);
    if (result != Z_STREAM_END || produced > limit) return std::nullopt;
    return produced;
}

// The deflated bytes of a compressed text or colour profile: what follows its
// keyword (or profile name), its compression method and, in an international
// text, its language and translated keyword. None for a text stored as it
// reads; an empty view, which inflates to nothing, for a chunk too damaged to
// say where they begin.
std::optional<QByteArrayView> compressedPart(QByteArrayView type, QByteArrayView data)
{
    constexpr char kDeflate = 0;
    const qsizetype nameEnd = data.indexOf('\0');
    if (type == "zTXt" || type == "iCCP") {
        if (nameEnd < 0 || nameEnd + 1 >= data.size() || data[nameEnd + 1] != kDeflate)
            return QByteArrayView();
        return data.sliced(nameEnd + 2);
    }
    if (type != "iTXt") return std::nullopt;
    // The flag that says whether the text is compressed, then the method.
    if (nameEnd < 0 || nameEnd + 2 >= data.size()) return QByteArrayView();
    if (data[nameEnd + 1] == 0) return std::nullopt;
    if (data[nameEnd + 2] != kDeflate) return QByteArrayView();
    const qsizetype languageEnd = data.indexOf('\0', nameEnd + 3);
    const qsizetype translatedEnd = languageEnd < 0 ? -1 : data.indexOf('\0', languageEnd + 1);
    if (translatedEnd < 0) return QByteArrayView();
    return data.sliced(translatedEnd + 1);
}

// What a PNG reader inflates and copies of a stored picture before its first
// pixel, counted as its chunks are walked.
class Ancillaries {
public:
    // False once they are more than a thumbnail needs.
    bool add(QByteArrayView type, QByteArrayView data)
    {
        // A suggested palette is a list of colours without bound, for programs
        // that pick a few of them: no thumbnail carries one.
        if (type == "sPLT") return false;
        const std::optional<QByteArrayView> compressed = compressedPart(type, data);
        if (type == "iCCP")
            return data.size() <= kMaxProfileBytes && inflates(*compressed, kMaxProfileBytes);
        if (type != "tEXt" && type != "zTXt" && type != "iTXt") return true;
        ++m_texts;
        m_textBytes += data.size();
        if (compressed) m_compressedTextBytes += data.size();
        if (m_texts > kMaxTextChunks || m_textBytes > kMaxTextBytes ||
            m_compressedTextBytes > kMaxCompressedTextBytes)
            return false;
        return !compressed || inflates(*compressed, kMaxInflatedBytes);
    }

private:
    // Whether the bytes inflate whole, to no more than `limit` and no more than
    // what is left of the file's allowance, which they then take from.
    bool inflates(QByteArrayView compressed, qsizetype limit)
    {
        const std::optional<qsizetype> inflated =
            inflatedSize(compressed, std::min(limit, kMaxInflatedBytes - m_inflatedBytes));
        if (!inflated) return false;
        m_inflatedBytes += *inflated;
        return true;
    }

    int m_texts = 0;
    qsizetype m_textBytes = 0;
    qsizetype m_compressedTextBytes = 0;
    qsizetype m_inflatedBytes = 0;
};

} // namespace

bool isPlausiblePng(QByteArrayView png, int folderSide)
{
    if (png.size() > kMaxStoredBytes || !png.startsWith(kPngSignature)) return false;
    qsizetype at = kPngSignature.size();
    Ancillaries ancillaries;
    int chunks = 0;
    for (bool first = true; png.size() - at >= kChunkHead + kChunkTail; first = false) {
        if (++chunks > kMaxChunks) return false;
        const quint32 length = bigEndian32(png.data() + at);
        const QByteArrayView type = png.sliced(at + 4, 4);
        if (length > quint64(png.size() - at - kChunkHead - kChunkTail)) return false;
        const char* data = png.data() + at + kChunkHead;
        if (first) {
            if (type != "IHDR" || length != kHeaderLength) return false;
            const quint32 width = bigEndian32(data);
            const quint32 height = bigEndian32(data + 4);
            if (width < 1 || height < 1 || width > quint32(folderSide) ||
                height > quint32(folderSide))
                return false;
        }
        if (!ancillaries.add(type, QByteArrayView(data, qsizetype(length)))) return false;
        if (type == "IEND") return true;
        at += kChunkHead + qsizetype(length) + kChunkTail;
    }
    return false;
}

QSize pictureSize(QByteArrayView png)
{
    constexpr qsizetype kWidthAt = kPngSignature.size() + kChunkHead;
    if (png.size() < kWidthAt + 8 || !png.startsWith(kPngSignature) ||
        png.sliced(kPngSignature.size() + 4, 4) != "IHDR")
        return {};
    const quint32 width = bigEndian32(png.data() + kWidthAt);
    const quint32 height = bigEndian32(png.data() + kWidthAt + 4);
    if (width < 1 || height < 1 || width > quint32(INT_MAX) || height > quint32(INT_MAX)) return {};
    return QSize(int(width), int(height));
}

std::optional<QByteArray> readStored(const QString& path, int folderSide)
{
    // Not followed: a FIFO or a device named like a thumbnail is no picture,
    // and neither is what a link there names.
    OwnFile file = OwnFile::open(path, kFileRule);
    const QByteArray bytes = file.readAll();
    // A file that shrank while it was read is one being replaced.
    if (!file.isOpen() || std::uint64_t(bytes.size()) != file.size() ||
        !isPlausiblePng(bytes, folderSide))
        return std::nullopt;
    return bytes;
}

int pixels(Size size)
{
    switch (size) {
    case Size::normal: return 128;
    case Size::large: return 256;
    case Size::xLarge: return 512;
    case Size::xxLarge: return 1024;
    }
    return 1024;
}

QString folderName(Size size)
{
    switch (size) {
    case Size::normal: return QStringLiteral("normal");
    case Size::large: return QStringLiteral("large");
    case Size::xLarge: return QStringLiteral("x-large");
    case Size::xxLarge: return QStringLiteral("xx-large");
    }
    return {};
}

Size sizeFor(int wanted)
{
    for (const Size size : kSizes)
        if (wanted <= pixels(size)) return size;
    return Size::xxLarge;
}

QString root()
{
    return xdg::cacheHome() + QStringLiteral("/thumbnails");
}

QString uriFor(const QString& absolutePath)
{
    static constexpr char kHex[] = "0123456789ABCDEF";
    QByteArray uri("file://");
    for (const char byte : QFile::encodeName(absolutePath)) {
        const auto c = static_cast<unsigned char>(byte);
        if (keepsInUri(c)) {
            uri += byte;
        } else {
            uri += '%';
            uri += kHex[c >> 4];
            uri += kHex[c & 0xf];
        }
    }
    return QString::fromLatin1(uri);
}

QString thumbnailPath(const QString& uri, Size size)
{
    return root() + u'/' + folderName(size) + u'/' + md5Name(uri);
}

QString failurePath(const QString& uri)
{
    return failureFolder() + u'/' + md5Name(uri);
}

bool holds(const QString& absolutePath)
{
    return pathIsInside(pathKey(absolutePath), pathKey(root()));
}

std::optional<FileStamp> stampOf(const QString& absolutePath)
{
    struct stat st {};
    if (::lstat(QFile::encodeName(absolutePath).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return std::nullopt;
    return FileStamp{qint64(st.st_mtim.tv_sec), qint64(st.st_size)};
}

bool isCurrent(const StoredKeys& keys, const QString& uri, const FileStamp& stamp)
{
    if (keys.uri != uri) return false;
    bool ok = false;
    const qint64 mtime = keys.mtime.trimmed().toLongLong(&ok);
    if (!ok || mtime != stamp.mtime) return false;
    if (keys.size.isNull()) return true;
    const qint64 size = keys.size.trimmed().toLongLong(&ok);
    return ok && size == stamp.size;
}

bool store(const QString& target, const QByteArray& png)
{
    if (!makeFolders(QFileInfo(target).absolutePath())) return false;
    // A lost or empty thumbnail is only made again.
    return AtomicSave::save(target, png, kFileRule.links, kFileMode, AtomicSave::Flush::none);
}

int removeStaleTemporaries()
{
    QStringList folders;
    for (const Size size : kSizes)
        folders << root() + u'/' + folderName(size);
    folders << failureFolder();
    int removed = 0;
    for (const QString& folder : folders)
        removed += AtomicSave::removeStaleTemporaries(folder, isPictureName);
    return removed;
}

} // namespace ovra::SharedThumbnailCache
