#include "DuplicateScanner.h"
#include "platform/Background.h"
#include "platform/FeaturePrint.h"
#include "platform/UserFile.h"

#include <QFile>
#include <QHash>
#include <QImage>
#include <QImageReader>
#include <QThread>

#include <atomic>
#include <cmath>
#include <mutex>
#include <numeric>

namespace ovra::DuplicateScanner {

namespace {

std::optional<double> sideRatio(const FileItem& file)
{
    if (!file.pixelWidth || !file.pixelHeight || *file.pixelWidth < 1 || *file.pixelHeight < 1)
        return std::nullopt;
    const double w = *file.pixelWidth;
    const double h = *file.pixelHeight;
    return std::min(w, h) / std::max(w, h);
}

class Links {
public:
    explicit Links(qsizetype n)
        : m_parent(std::size_t(n))
    {
        std::iota(m_parent.begin(), m_parent.end(), qsizetype(0));
    }
    qsizetype root(qsizetype i)
    {
        while (m_parent[std::size_t(i)] != i) {
            auto& parent = m_parent[std::size_t(i)];
            parent = m_parent[std::size_t(parent)];
            i = parent;
        }
        return i;
    }
    void link(qsizetype i, qsizetype j) { m_parent[std::size_t(root(j))] = root(i); }

private:
    std::vector<qsizetype> m_parent;
};

} // namespace

std::optional<std::vector<float>> featurePrint(const QString& path)
{
    const auto content = UserFile::open(path);
    if (!content) return std::nullopt;
    QFile device;
    if (!device.open(content->fd(), QIODevice::ReadOnly, QFileDevice::DontCloseHandle))
        return std::nullopt;
    QImageReader reader(&device);
    reader.setAutoTransform(true);
    // Asking for a small size lets the JPEG decoder scale in the DCT, so a
    // 12-megapixel photo is never decoded whole.
    const QSize full = reader.size();
    if (full.isValid() && std::max(full.width(), full.height()) > kPhotoDecodeSide)
        reader.setScaledSize(full.scaled(kPhotoDecodeSide, kPhotoDecodeSide, Qt::KeepAspectRatio));
    QImage image = reader.read();
    if (image.isNull()) return std::nullopt;
    if (image.format() != QImage::Format_RGB32) image = image.convertToFormat(QImage::Format_RGB32);
    RawImage raw;
    raw.width = image.width();
    raw.height = image.height();
    raw.bytesPerLine = image.bytesPerLine();
    raw.pixels = QByteArray::fromRawData(reinterpret_cast<const char*>(image.constBits()),
                                         image.sizeInBytes());
    return FeaturePrint::compute(raw);
}

QList<DuplicateGroup> similarPhotos(const QList<FileItem>& files, const Progress& progress,
                                    const Workers& workers)
{
    const qsizetype n = files.size();
    if (n == 0) return {};
    std::vector<std::optional<std::vector<float>>> prints(static_cast<std::size_t>(n));
    std::mutex lock;
    int done = 0;
    forEach(workers, n, [&](qsizetype i) {
        std::optional<std::vector<float>> print;
        if (!(workers.isCancelled && workers.isCancelled())) print = featurePrint(files[i].path);
        int d;
        {
            std::lock_guard guard(lock);
            prints[std::size_t(i)] = std::move(print);
            d = ++done;
        }
        if (progress && (d % kPhotoProgressStep == 0 || d == n)) progress(d, int(n));
    });
    if (workers.isCancelled && workers.isCancelled()) return {};

    QList<qsizetype> valid;
    std::vector<std::optional<double>> ratios(static_cast<std::size_t>(n));
    for (qsizetype i = 0; i < n; ++i) {
        ratios[std::size_t(i)] = sideRatio(files[i]);
        if (prints[std::size_t(i)]) valid.append(i);
    }
    Links links(n);
    for (qsizetype a = 0; a < valid.size(); ++a) {
        const qsizetype i = valid[a];
        for (qsizetype b = a + 1; b < valid.size(); ++b) {
            const qsizetype j = valid[b];
            const auto& ri = ratios[std::size_t(i)];
            const auto& rj = ratios[std::size_t(j)];
            if (ri && rj && std::abs(*ri - *rj) > kShapeTolerance) continue;
            if (FeaturePrint::similarity(*prints[std::size_t(i)], *prints[std::size_t(j)]) >=
                kSimilarityThreshold)
                links.link(i, j);
        }
    }
    QHash<qsizetype, QList<qsizetype>> clusters;
    QList<qsizetype> roots;
    for (qsizetype i : valid) {
        const qsizetype root = links.root(i);
        auto& cluster = clusters[root];
        if (cluster.isEmpty()) roots.append(root);
        cluster.append(i);
    }
    QList<DuplicateGroup> groups;
    for (qsizetype root : roots) {
        const QList<qsizetype>& cluster = clusters[root];
        // A cluster this large is a chain of loosely alike pictures, not copies
        // of one: it is dropped whole rather than split.
        if (cluster.size() < kMinGroupSize || cluster.size() > kMaxGroupSize) continue;
        DuplicateGroup group;
        group.id = QUuid::createUuid();
        for (qsizetype i : cluster) {
            group.files.append(files[i]);
            group.stamps.append(FileStamp{});
        }
        group.keep = pickBestPhoto(group.files);
        groups.append(std::move(group));
    }
    sortByReclaimable(groups);
    return groups;
}

void forEach(const Workers& workers, qsizetype count, const std::function<void(qsizetype)>& body)
{
    if (!workers.pool) {
        for (qsizetype i = 0; i < count; ++i)
            body(i);
        return;
    }
    // Only the borrowed threads are lowered: the calling thread keeps its own
    // priority, which the pool it runs on already chose.
    QThread* const caller = QThread::currentThread();
    const bool lower = workers.lowPriority;
    background::forEach(*workers.pool, workers.threadCount, count, [&](qsizetype i) {
        if (lower && QThread::currentThread() != caller) background::enterIdlePriority();
        body(i);
    });
}

} // namespace ovra::DuplicateScanner
