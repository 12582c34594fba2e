#pragma once

#include <QByteArray>
#include <QByteArrayView>
#include <QSize>
#include <QString>
#include <QtGlobal>

#include <array>
#include <optional>

// The thumbnail cache that desktop applications share under
// $XDG_CACHE_HOME/thumbnails: one PNG per file and size, named by the MD5 of
// the file's URI, carrying text keys that say which file and which version of
// it the picture shows. Thumbnails made here are valid for every other
// application that reads the cache, and theirs for us.
namespace ovra::SharedThumbnailCache {

enum class Size { normal, large, xLarge, xxLarge };
inline constexpr std::array<Size, 4> kSizes{Size::normal, Size::large, Size::xLarge, Size::xxLarge};

// The longer side of a picture in that folder: 128, 256, 512, 1024.
int pixels(Size size);
QString folderName(Size size);
// The smallest size whose pictures are at least `pixels` on their longer side;
// the largest size when none is.
Size sizeFor(int pixels);

// The PNG text keys.
inline constexpr char kUriKey[] = "Thumb::URI";
inline constexpr char kMTimeKey[] = "Thumb::MTime";
inline constexpr char kSizeKey[] = "Thumb::Size";
inline constexpr char kMimeTypeKey[] = "Thumb::Mimetype";

// $XDG_CACHE_HOME/thumbnails.
QString root();
// The file's URI as the cache names it: "file://" and the path, every byte
// outside the characters a URI path may carry written as %XX.
QString uriFor(const QString& absolutePath);
QString thumbnailPath(const QString& uri, Size size);
// Where this application notes that it could not make a thumbnail of the file.
QString failurePath(const QString& uri);
// True for files inside the cache itself, which never get thumbnails stored.
bool holds(const QString& absolutePath);

// What the keys of a thumbnail are checked against.
struct FileStamp {
    qint64 mtime = 0; // whole seconds since 1970
    qint64 size = 0;
};
// The stamp of a regular file; none for anything else, a symbolic link included.
std::optional<FileStamp> stampOf(const QString& absolutePath);

// The keys as read from a stored PNG; a key that is absent is a null string.
struct StoredKeys {
    QString uri;
    QString mtime;
    QString size;
};
// Whether a stored picture shows the file as it is now: its URI matches, its
// modification time matches, and so does its size when it records one.
bool isCurrent(const StoredKeys& keys, const QString& uri, const FileStamp& stamp);

// Any program may write into the cache, so a stored picture is checked before
// it is decoded: a PNG of at most this many bytes (a picture of the largest
// folder's side stored uncompressed, at 16 bits a channel, and its keys) ...
inline constexpr qint64 kMaxStoredBytes = 9 * 1024 * 1024;
// ... whose header gives a size of at least a pixel and no side longer than its
// folder's, whose chunks all lie within the file, up to its end chunk, are no
// more than a picture of that size is written in, and whose texts are no more,
// in number and bytes, than a thumbnail's keys need. Its compressed texts and
// colour profile are inflated (and thrown away) on the way, to no more than a
// thumbnail needs; a suggested palette or a large profile is refused.
// The stored file's bytes when they pass; nothing for a file that is missing,
// not a regular file, or damaged.
std::optional<QByteArray> readStored(const QString& path, int folderSide);
// The same check over bytes already read.
bool isPlausiblePng(QByteArrayView png, int folderSide);
// The size its header gives, read from the bytes: a PNG reader asked for the
// size reads (and inflates) every text ahead of the pixels first. Invalid when
// the bytes do not begin with a PNG header.
QSize pictureSize(QByteArrayView png);

// Writes a picture into the cache as a new file of mode 0600 renamed into
// place, so no reader ever sees half a file; missing folders are made with mode
// 0700. It is not flushed to the disk: a picture a crash empties is not a
// picture, and is made again. False when it could not be written.
bool store(const QString& target, const QByteArray& png);

// Removes from the cache's folders the temporaries that stores cut short (a
// kill, a power cut) left, by AtomicSave's rule: pictures' alone, and only
// those no store can still be writing. Blocks on the disk; returns how many went.
int removeStaleTemporaries();

} // namespace ovra::SharedThumbnailCache
