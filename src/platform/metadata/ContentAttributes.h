#pragma once

#include "../UniformType.h"

#include <QByteArray>
#include <QHash>
#include <QString>
#include <QStringList>

#include <atomic>
#include <optional>
#include <vector>

namespace ovra::content {
class HelperPool;
}

namespace ovra::md {

// The attributes that cost a read of the file's content (headers, tags, EXIF,
// PDF metadata). The index reads them once per file version and keeps them in
// its on-disk cache.
struct ContentAttributes {
    std::optional<int> pixelWidth;
    std::optional<int> pixelHeight;
    std::optional<double> durationSeconds;
    std::optional<QString> title;
    std::optional<QStringList> authors;
    std::optional<QString> album;
    std::optional<QString> musicalGenre;
    QStringList codecs;
    std::optional<int> numberOfPages;
    std::optional<QString> acquisitionMake;
    std::optional<QString> acquisitionModel;
    // When the content says it was made (EXIF DateTimeOriginal), seconds since 1970.
    std::optional<double> contentCreationDate;
    // A screenshot tool wrote it (PNG text chunks such as Software=gnome-screenshot).
    bool isScreenCapture = false;

    friend bool operator==(const ContentAttributes&, const ContentAttributes&) = default;
};

// The access times around our own read of a file, when that read changed it (a
// file we may read but do not own cannot be opened without touching its access
// time). An access time equal to `after` is ours, not the user's: the file was
// last used at `before`, if then.
struct ReadAccess {
    double before = 0;
    double after = 0;

    bool isRecorded() const { return after != 0; }
    friend bool operator==(const ReadAccess&, const ReadAccess&) = default;
};

namespace ContentReader {

// True for the types whose attributes need a read: images, audio, video, PDF.
bool needsRead(const UniformType& type);

// True for the types read in an `ovra-extract` helper (audio, video, PDF): the
// libraries that read them are the ones a hostile file crashes or stalls.
bool readsInHelper(const UniformType& type);

// Reads what the file's content says: images here, the rest in a helper of the
// shared pool. Opens the file with O_NOATIME where allowed (our scans must never
// make a file look recently used), never follows a symbolic link, bounds what it
// reads, and never throws: an unreadable, malformed or hostile file gives what
// could be read (often nothing). Blocks; thread-safe.
ContentAttributes read(const QString& path, const UniformType& type);

struct FileToRead {
    QString path;
    UniformType type; // one that readsInHelper
};
// What a helper read of one file.
struct HelperRead {
    ContentAttributes attributes;
    // The read's time budget ran out before it was done: the attributes are what
    // was read by then, good to show until the file is read again, but not its
    // answer to keep.
    bool isCutShort = false;
};
// Reads many files in one helper of `helpers`, as few requests as their paths
// allow, one answer per file in the same order. A file that crashed or stalled
// the helper gives nothing, and is to be recorded as read, so that it is not
// tried again until it changes; a file the helpers were not asked about (there
// is no helper program, or `cancelled` turned true) has no answer, and neither
// is a read cut short by its time budget one: both are read again later.
std::vector<std::optional<HelperRead>> readInHelper(const std::vector<FileToRead>& files,
                                                    content::HelperPool& helpers,
                                                    const std::atomic_bool* cancelled);

} // namespace ContentReader

// A screenshot by its name, as the usual Linux screenshot tools name them
// ("Screenshot from 2024-03-01 10-22-33.png", "Screenshot_20240301_102233.png", …).
bool isScreenshotFileName(QStringView name);

// The download origin of a file from the freedesktop extended attributes:
// "user.xdg.origin.url" first, then "user.xdg.referrer.url"; empty when neither
// is set. Never follows a symbolic link. Thread-safe.
QStringList readWhereFroms(const QByteArray& localPath);

// The desktop's recently-used list ($XDG_DATA_HOME/recently-used.xbel): the
// latest visit or modification time of each local file named in it, keyed by
// absolute path. Missing or damaged files give an empty map. Blocks: call it on
// a pool thread.
QHash<QString, double> readRecentlyUsed(const QString& xbelPath);

} // namespace ovra::md
