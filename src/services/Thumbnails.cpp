#include "Thumbnails.h"

#include "desktop/FileIcon.h"
#include "platform/Background.h"
#include "platform/FileTime.h"
#include "platform/PathKey.h"
#include "platform/UniformType.h"

#include <QCoreApplication>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <algorithm>
#include <cmath>
#include <list>
#include <mutex>

namespace ovra {

namespace {

bool isAudioFile(const QString& path)
{
    const QString extension = pathExtension(path);
    if (extension.isEmpty()) return false;
    const UniformType type = UniformType::forFileName(QStringLiteral("file.") + extension);
    return type.isValid() && type.conforms(UniformType::audio());
}

} // namespace

// The requests not yet started, the newest on top. Each request starts one
// task on the pool, and each task takes whatever request is newest when it
// runs: the pool's own queue then stays first in, first out at one priority,
// which it keeps cheaply, however many requests a fast scroll leaves behind.
class Thumbnails::PendingRequests {
public:
    struct Request {
        QString path;
        int bucket = 0;
        qint64 version = 0;
        std::shared_ptr<QPromise<Thumbnail>> promise;
    };

    void push(Request request)
    {
        const std::lock_guard lock(m_mutex);
        m_requests.push_back(std::move(request));
    }

    std::optional<Request> takeNewest()
    {
        const std::lock_guard lock(m_mutex);
        if (m_requests.empty()) return std::nullopt;
        Request newest = std::move(m_requests.back());
        m_requests.pop_back();
        return newest;
    }

private:
    std::mutex m_mutex;
    std::vector<Request> m_requests;
};

// A least-recently-used map of pictures, bounded by count and by bytes, safe
// for concurrent use.
class Thumbnails::MemoryCache {
public:
    std::optional<Thumbnail> find(const QString& key)
    {
        const std::lock_guard lock(m_mutex);
        const auto it = m_index.constFind(key);
        if (it == m_index.cend()) return std::nullopt;
        m_order.splice(m_order.begin(), m_order, it.value());
        return it.value()->thumbnail;
    }

    void insert(const QString& key, const Thumbnail& thumbnail)
    {
        const std::lock_guard lock(m_mutex);
        if (const auto it = m_index.constFind(key); it != m_index.cend()) remove(it.value());
        m_order.push_front(Entry{key, thumbnail, thumbnail.image.sizeInBytes()});
        m_index.insert(key, m_order.begin());
        m_bytes += m_order.front().bytes;
        while (m_order.size() > 1 &&
               (m_order.size() > std::size_t(kCountLimit) || m_bytes > kByteLimit))
            remove(std::prev(m_order.end()));
    }

private:
    struct Entry {
        QString key;
        Thumbnail thumbnail;
        qsizetype bytes = 0;
    };
    using Position = std::list<Entry>::iterator;

    void remove(Position position)
    {
        m_bytes -= position->bytes;
        m_index.remove(position->key);
        m_order.erase(position);
    }

    std::mutex m_mutex;
    std::list<Entry> m_order; // most recently used first
    QHash<QString, Position> m_index;
    qsizetype m_bytes = 0;
};

Thumbnails& Thumbnails::shared()
{
    static Thumbnails instance(std::make_shared<DesktopThumbnailGenerator>(), fileIcon);
    // Pictures still being made when the application goes would hand their
    // icons to an application that is gone: stop them while it still exists.
    static const bool stopsWithTheApplication = [] {
        qAddPostRoutine([] {
            instance.pool().clear();
            instance.pool().waitForDone();
        });
        return true;
    }();
    Q_UNUSED(stopsWithTheApplication);
    return instance;
}

Thumbnails::Thumbnails(std::shared_ptr<ThumbnailGenerator> generator, IconSource icons, int threads)
    : m_generator(std::move(generator))
    , m_icons(std::move(icons))
    , m_cache(std::make_shared<MemoryCache>())
    , m_pending(std::make_shared<PendingRequests>())
{
    if (threads > 0) {
        m_ownPool = std::make_unique<QThreadPool>();
        m_ownPool->setMaxThreadCount(threads);
    }
}

Thumbnails::~Thumbnails()
{
    // The tasks hold what they use themselves; only a pool of our own must
    // not outlive us with work in it.
    if (m_ownPool) {
        m_ownPool->clear();
        m_ownPool->waitForDone();
    }
}

QThreadPool& Thumbnails::pool()
{
    return m_ownPool ? *m_ownPool : background::pool(background::Pool::thumbnails);
}

int Thumbnails::bucket(double side)
{
    for (const int b : kBuckets)
        if (side <= b) return b;
    return kBuckets.back(); // larger, or not a number
}

qint64 Thumbnails::version(double modifiedSeconds)
{
    // An unknown time (the distant past) is no version at all.
    if (!std::isfinite(modifiedSeconds) || modifiedSeconds <= kDistantPast) return 0;
    return std::llround(modifiedSeconds * 1000.0);
}

QString Thumbnails::cacheKey(int bucket, const QString& path, qint64 version)
{
    return QString::number(bucket) + u'|' + QString::number(version) + u'|' + path;
}

bool Thumbnails::isIcon(ThumbnailRepresentation::Type type, bool isAudio)
{
    using Type = ThumbnailRepresentation::Type;
    if (type == Type::icon) return true;
    return isAudio && type != Type::thumbnail;
}

std::optional<Thumbnail> Thumbnails::cached(const QString& path, double side, qint64 version) const
{
    const int wanted = bucket(side);
    for (const int b : kBuckets) {
        if (b < wanted) continue;
        if (auto hit = m_cache->find(cacheKey(b, path, version))) return hit;
    }
    return std::nullopt;
}

std::optional<Thumbnail> Thumbnails::cached(const QUrl& url, double side) const
{
    return cached(url.path(), side);
}

QFuture<Thumbnail> Thumbnails::load(const QString& path, double side, qint64 version)
{
    if (auto hit = cached(path, side, version)) return QtFuture::makeReadyFuture(std::move(*hit));
    const int b = bucket(side);
    // The asker's future is this promise's: a fallback icon is drawn on the GUI
    // thread after the work, and cancelling the future still reaches the work.
    auto promise = std::make_shared<QPromise<Thumbnail>>();
    QFuture<Thumbnail> future = promise->future();
    promise->start();
    m_pending->push({path, b, version, promise});
    background::run(
        pool(), [generator = m_generator, cache = m_cache, icons = m_icons, pending = m_pending] {
            // Requests given up on are passed over, so this task's turn goes to
            // one still wanted.
            while (const auto request = pending->takeNewest()) {
                if (request->promise->isCanceled()) {
                    request->promise->finish();
                    continue;
                }
                generate(*generator, cache, icons, request->path, request->bucket, request->version,
                         request->promise);
                return;
            }
        });
    return future;
}

QFuture<Thumbnail> Thumbnails::load(const QUrl& url, double side)
{
    return load(url.path(), side);
}

void Thumbnails::generate(ThumbnailGenerator& generator, const std::shared_ptr<MemoryCache>& cache,
                          const IconSource& icons, const QString& path, int bucket, qint64 version,
                          const std::shared_ptr<QPromise<Thumbnail>>& promise)
{
    if (promise->isCanceled()) {
        promise->finish();
        return;
    }
    const int pixelSide = bucket * kScale;
    const QString key = cacheKey(bucket, path, version);
    const auto representation = generator.generateBestRepresentation(path, pixelSide);
    if (representation && !representation->image.isNull()) {
        const Thumbnail thumbnail{path, representation->image,
                                  isIcon(representation->type, isAudioFile(path)), version};
        cache->insert(key, thumbnail);
        promise->addResult(thumbnail);
        promise->finish();
        return;
    }

    // No picture: the file's icon, cached like a picture so the file is not
    // tried again at this size. Drawn here too: the icon theme is ours and
    // thread-safe, so the GUI thread never reads an icon file.
    const QImage icon = icons ? icons(fileIconFacts(path), pixelSide) : QImage();
    const Thumbnail thumbnail{path, icon, true, version};
    cache->insert(key, thumbnail);
    promise->addResult(thumbnail);
    promise->finish();
}

} // namespace ovra
