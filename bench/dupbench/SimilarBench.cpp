#include "SimilarBench.h"
#include "common/BenchOutput.h"
#include "common/PhotoGenerator.h"
#include "duplicates/DuplicateScanner.h"
#include "platform/FeaturePrint.h"

#include <QDir>
#include <QFile>
#include <QHash>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <cstdlib>

namespace ovra::bench {

namespace {

const QSize kPhotoSize(4000, 3000); // 12 megapixels

struct Photo {
    QString path;
    int scene;
};

// Half the photos are originals, the other half a copy of one of them as it
// comes back from elsewhere: saved again at a lower quality, brightened, or
// cropped and enlarged back to 12 megapixels.
QList<Photo> generate(const QString& root, int count)
{
    QList<Photo> photos;
    for (int i = 0; i < count; ++i)
        photos.append(
            {QStringLiteral("%1/IMG_%2.jpg").arg(root).arg(i, 5, 10, QLatin1Char('0')), i / 2});
    QThreadPool painters;
    painters.setMaxThreadCount(4);
    QtConcurrent::blockingMap(&painters, photos, [](const Photo& photo) {
        const bool isCopy = photo.path.endsWith(QLatin1String("1.jpg")) ||
                            photo.path.endsWith(QLatin1String("3.jpg")) ||
                            photo.path.endsWith(QLatin1String("5.jpg")) ||
                            photo.path.endsWith(QLatin1String("7.jpg")) ||
                            photo.path.endsWith(QLatin1String("9.jpg"));
        QImage image = scene(quint32(7000 + photo.scene), kPhotoSize);
        int quality = 88;
        if (isCopy) {
            switch (photo.scene % 3) {
            case 0: quality = 40; break;
            case 1: image = variant(image, Variant::brighter); break;
            default:
                image = variant(image, Variant::cropped)
                            .scaled(kPhotoSize, Qt::IgnoreAspectRatio, Qt::SmoothTransformation);
            }
        }
        QFile file(photo.path);
        if (file.open(QIODevice::WriteOnly)) file.write(jpeg(image, quality));
    });
    return photos;
}

} // namespace

int runSimilar(const Arguments& args)
{
    const int count = std::max(20, int(args.integer(QStringLiteral("--photos"), 2000))) / 2 * 2;
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/ovra-dupbench-XXXXXX"));
    report("similar", QStringLiteral("load_average_before"), loadAverage(), "load");
    Stopwatch made;
    const QList<Photo> photos = generate(temp.path(), count);
    report("similar", QStringLiteral("photos"), count, "photos");
    report("similar", QStringLiteral("generate_seconds"), made.elapsedMs() / 1000.0, "s");

    QList<FileItem> items;
    QHash<QString, int> sceneOf;
    for (const Photo& photo : photos) {
        FileItem item;
        item.path = photo.path;
        item.name = photo.path.section(u'/', -1);
        item.size = QFileInfo(photo.path).size();
        item.pixelWidth = kPhotoSize.width();
        item.pixelHeight = kPhotoSize.height();
        items.append(item);
        sceneOf.insert(photo.path, photo.scene);
    }
    // Timed twice: as the app runs it (its threads at a low priority) and at
    // the priority other programs run at; each on a fresh pool, since a thread
    // once lowered stays low.
    QList<DuplicateGroup> groups;
    double lowMs = 0;
    double normalMs = 0;
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    for (bool lowPriority : {false, true}) {
        QThreadPool runPool;
        runPool.setMaxThreadCount(pool.maxThreadCount());
        DuplicateScanner::Workers workers;
        workers.pool = &runPool;
        workers.threadCount = runPool.maxThreadCount();
        workers.lowPriority = lowPriority;
        Stopwatch timed;
        groups = DuplicateScanner::similarPhotos(items, {}, workers);
        (lowPriority ? lowMs : normalMs) = timed.elapsedMs();
    }
    const double ms = lowMs;
    report("similar", QStringLiteral("ovra_seconds"), ms / 1000.0, "s");
    report("similar", QStringLiteral("photos_per_second"), count / (ms / 1000.0), "photos/s");
    report("similar", QStringLiteral("photos_per_second_normal_priority"),
           count / (normalMs / 1000.0), "photos/s");
    report("similar", QStringLiteral("threads"), pool.maxThreadCount(), "threads");
    report("similar", QStringLiteral("load_average_during"), loadAverage(), "load");
    report("similar", QStringLiteral("peer_published_photos_per_second_high"), 50, "photos/s");
    report("similar", QStringLiteral("ratio"), (count / (ms / 1000.0)) / 50.0,
           "x the published look-alike finder");

    // Groups against the truth: a pair is found when both photos of a scene
    // share a group; a group that mixes scenes holds false matches.
    int found = 0;
    int mixed = 0;
    for (const DuplicateGroup& group : groups) {
        QSet<int> scenes;
        for (const FileItem& file : group.files)
            scenes.insert(sceneOf.value(file.path));
        if (scenes.size() > 1) ++mixed;
        if (scenes.size() == 1 && group.files.size() == 2) ++found;
    }
    report("similar", QStringLiteral("groups"), double(groups.size()), "groups");
    report("similar", QStringLiteral("pairs_found"), found, "pairs");
    report("similar", QStringLiteral("miss_rate"), 100.0 * (count / 2 - found) / (count / 2), "%");
    report("similar", QStringLiteral("groups_mixing_scenes"), mixed, "groups");

    // The descriptor's own rate over every pair of originals of different scenes.
    std::vector<std::vector<float>> prints(std::size_t(count / 2));
    QtConcurrent::blockingMap(&pool, photos, [&](const Photo& photo) {
        if (photo.path.endsWith(QLatin1String("0.jpg")) ||
            photo.path.endsWith(QLatin1String("2.jpg")) ||
            photo.path.endsWith(QLatin1String("4.jpg")) ||
            photo.path.endsWith(QLatin1String("6.jpg")) ||
            photo.path.endsWith(QLatin1String("8.jpg")))
            prints[std::size_t(photo.scene)] =
                DuplicateScanner::featurePrint(photo.path).value_or(std::vector<float>());
    });
    qint64 pairs = 0;
    qint64 falseMatches = 0;
    for (std::size_t a = 0; a < prints.size(); ++a)
        for (std::size_t b = a + 1; b < prints.size(); ++b) {
            ++pairs;
            if (FeaturePrint::similarity(prints[a], prints[b]) >=
                DuplicateScanner::kSimilarityThreshold)
                ++falseMatches;
        }
    report("similar", QStringLiteral("false_match_rate"),
           pairs ? 100.0 * double(falseMatches) / double(pairs) : 0, "%");
    report("similar", QStringLiteral("different_pairs_compared"), double(pairs), "pairs");
    report("similar", QStringLiteral("load_average_after"), loadAverage(), "load");
    return 0;
}

} // namespace ovra::bench
