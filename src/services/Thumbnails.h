#pragma once

#include "ThumbnailGenerator.h"
#include "desktop/FileIcon.h"

#include <QFuture>
#include <QImage>
#include <QPromise>
#include <QString>
#include <QThreadPool>
#include <QUrl>

#include <array>
#include <functional>
#include <memory>
#include <optional>

namespace ovra {

// A picture of a file: a rendering of its content, or only its icon.
struct Thumbnail {
    QString path;        // the file shown; views compare it with their item's path
    QImage image;        // may be null when not even an icon could be found
    bool isIcon = false; // a generic icon rather than the file's content
    qint64 version = 0;  // the file's modification time the picture was asked for
};

// The one loader and memory cache of file pictures behind every card, row,
// inspector and player. Requested sides are rounded up to four sizes, and a
// cached larger picture serves every smaller request.
class Thumbnails {
public:
    // The file's icon, drawn on the loader's thread from what it read of the
    // file.
    using IconSource = std::function<QImage(const FileIconFacts& facts, int pixelSide)>;

    // The shared instance, made on first use with the desktop's generator.
    static Thumbnails& shared();

    // Pictures are made on the thumbnails' pool, or with `threads` above zero
    // on a pool of that many threads of this loader's own (tests).
    Thumbnails(std::shared_ptr<ThumbnailGenerator> generator, IconSource icons, int threads = 0);
    ~Thumbnails();
    Thumbnails(const Thumbnails&) = delete;
    Thumbnails& operator=(const Thumbnails&) = delete;

    // The sides of the square pictures made, in points, ascending.
    static constexpr std::array<int, 4> kBuckets{64, 160, 320, 640};
    // Pictures are made at this many pixels per point.
    static constexpr int kScale = 2;
    static constexpr int kCountLimit = 2000;
    // Beyond the count, no more than this many bytes of pictures are held: two
    // thousand previews at the largest size would not fit in memory.
    static constexpr qsizetype kByteLimit = qsizetype(512) * 1024 * 1024;

    // The smallest bucket that holds `side`; the largest for a larger side or
    // one that is not a number.
    static int bucket(double side);
    // A picture is kept per version of its file, its modification time in
    // milliseconds (`version`): a file replaced while the app runs gets a new
    // picture, while an unchanged one keeps its cached picture.
    static qint64 version(double modifiedSeconds);
    static QString cacheKey(int bucket, const QString& path, qint64 version = 0);
    // Whether a picture counts as only an icon (audio files are shown by their
    // icon unless the picture is a full rendering, such as a cover).
    static bool isIcon(ThumbnailRepresentation::Type type, bool isAudio);

    // The cached picture of the file at `side`'s bucket or a larger one, the
    // smallest first; none when there is none. No work; any thread.
    std::optional<Thumbnail> cached(const QString& path, double side, qint64 version = 0) const;
    std::optional<Thumbnail> cached(const QUrl& url, double side) const;

    // A picture for `side`'s bucket: the cached one, else one made on the
    // loader's threads, else the file's icon; always a thumbnail, never an
    // error. Both outcomes are cached. Cancelling the future before its work
    // has started drops the work; the request asked for last starts first,
    // since the views that asked last are the ones on screen now. Work already
    // started still completes and fills the cache.
    QFuture<Thumbnail> load(const QString& path, double side, qint64 version = 0);
    QFuture<Thumbnail> load(const QUrl& url, double side);

private:
    class MemoryCache;
    class PendingRequests;
    // Runs on the pool; holds nothing of the loader, which may go first.
    static void generate(ThumbnailGenerator& generator, const std::shared_ptr<MemoryCache>& cache,
                         const IconSource& icons, const QString& path, int bucket, qint64 version,
                         const std::shared_ptr<QPromise<Thumbnail>>& promise);
    QThreadPool& pool();

    std::shared_ptr<ThumbnailGenerator> m_generator;
    IconSource m_icons;
    std::shared_ptr<MemoryCache> m_cache;
    std::unique_ptr<QThreadPool> m_ownPool;
    std::shared_ptr<PendingRequests> m_pending;
};

} // namespace ovra
