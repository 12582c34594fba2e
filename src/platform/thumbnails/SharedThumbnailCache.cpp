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
#include <cerrno>
#include <climits>
#include <cstdio>
#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

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
// ... of which these may be compressed (that URI deflates to under 5 KiB):
// deflate expands at most about 1000:1, so what they inflate to stays within a
// few megabytes.
constexpr qsizetype kMaxCompressedTextBytes = 8 * 1024;

quint32 bigEndian32(const char* bytes)
{
    const auto* b = reinterpret_cast<const unsigned char*>(bytes);
    return quint32(b[0]) << 24 | quint32(b[1]) << 16 | quint32(b[2]) << 8 | quint32(b[3]);
}

// The texts of a stored picture, counted as its chunks are walked.
struct TextChunks {
    int count = 0;
    qsizetype bytes = 0;
    qsizetype compressedBytes = 0;

    // False once the texts are more than a thumbnail's keys need.
    bool add(QByteArrayView type, QByteArrayView data)
    {
        if (type == "zTXt") {
            compressedBytes += data.size();
        } else if (type == "iTXt") {
            // The keyword, then the flag that says whether the text is compressed.
            const qsizetype keywordEnd = data.indexOf('\0');
            if (keywordEnd < 0 || keywordEnd + 1 >= data.size() || data[keywordEnd + 1] != 0)
                compressedBytes += data.size();
        } else if (type != "tEXt") {
            return true;
        }
        ++count;
        bytes += data.size();
        return count <= kMaxTextChunks && bytes <= kMaxTextBytes &&
               compressedBytes <= kMaxCompressedTextBytes;
    }
};

} // namespace

bool isPlausiblePng(QByteArrayView png, int folderSide)
{
    if (png.size() > kMaxStoredBytes || !png.startsWith(kPngSignature)) return false;
    qsizetype at = kPngSignature.size();
    TextChunks texts;
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
        if (!texts.add(type, QByteArrayView(data, qsizetype(length)))) return false;
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
