#include "DuplicateFinder.h"
#include "library/FileCategory.h"
#include "platform/Background.h"
#include "platform/XdgPaths.h"

#include <QDateTime>
#include <QFile>
#include <QFileInfo>
#include <QThread>

#include <future>

#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ovra {

namespace {

constexpr auto kExactQuery = "kMDItemFSSize >= 51200";
constexpr qsizetype kExactLimit = 300000;
constexpr auto kPhotoQuery = "kMDItemContentTypeTree == 'public.image' && kMDItemFSSize >= 30000 "
                             "&& kMDItemPixelWidth >= 300 && kMDItemIsScreenCapture != 1";
constexpr qsizetype kPhotoLimit = 2500;
constexpr double kMinPhotoSideRatio = 0.4;

bool acceptsForExact(const FileItem& item)
{
    if (item.category == FileCategory::apps || item.category == FileCategory::folders) return false;
    return !(item.contentType && item.contentType->conforms(UniformType::package()));
}

bool acceptsPhoto(const FileItem& item)
{
    static const QSet<QString> extensions = {
        QStringLiteral("jpg"),  QStringLiteral("jpeg"), QStringLiteral("heic"),
        QStringLiteral("heif"), QStringLiteral("dng"),  QStringLiteral("tif"),
        QStringLiteral("tiff"), QStringLiteral("webp"), QStringLiteral("arw"),
        QStringLiteral("cr2"),  QStringLiteral("cr3"),  QStringLiteral("nef"),
        QStringLiteral("raf")};
    const QString name = item.name.toLower();
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot < 0 || !extensions.contains(name.mid(dot + 1))) return false;
    if (name.startsWith(QLatin1String("screenshot")) ||
        name.startsWith(QLatin1String("screencapture")) || name.startsWith(QLatin1String("scr-")))
        return false;
    if (!item.pixelWidth || !item.pixelHeight || *item.pixelWidth < 1 || *item.pixelHeight < 1)
        return true;
    const double w = *item.pixelWidth;
    const double h = *item.pixelHeight;
    return std::min(w, h) / std::max(w, h) >= kMinPhotoSideRatio;
}

// Spinning disks seek between files: there, one reader at a time. Anything
// else (solid-state, or a device the kernel does not describe) gets several.
// A virtio disk says "rotational" by default whatever backs it, so its flag
// is not believed.
bool isRotational(const QList<FileItem>& files)
{
    for (const FileItem& file : files) {
        struct stat st {};
        if (::stat(QFile::encodeName(file.path).constData(), &st) != 0) continue;
        const QString base =
            QStringLiteral("/sys/dev/block/%1:%2").arg(major(st.st_dev)).arg(minor(st.st_dev));
        if (QFileInfo(base).canonicalFilePath().contains(QLatin1String("/virtio"))) return false;
        for (const QString& candidate : {base + QStringLiteral("/queue/rotational"),
                                         base + QStringLiteral("/../queue/rotational")}) {
            QFile flag(candidate);
            if (flag.open(QIODevice::ReadOnly)) return flag.readAll().trimmed() == "1";
        }
        return false;
    }
    return false;
}

// A group member that is gone, or is no longer a regular file, leaves the group
// before it is shown.
QList<DuplicateGroup> withoutVanished(QList<DuplicateGroup> groups,
                                      const std::function<bool()>& isCancelled)
{
    QSet<QString> gone;
    for (const DuplicateGroup& group : groups)
        for (const FileItem& file : group.files) {
            if (isCancelled()) return {};
            struct stat st {};
            if (::lstat(QFile::encodeName(file.path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
                gone.insert(file.path);
        }
    if (gone.isEmpty()) return groups;
    QList<DuplicateGroup> kept;
    for (DuplicateGroup& group : groups) {
        group.removeFiles(gone);
        if (group.files.size() >= DuplicateScanner::kMinGroupSize) kept.append(std::move(group));
    }
    return kept;
}

QList<DuplicateGroup> forgetting(QList<DuplicateGroup> groups, const QSet<QString>& paths)
{
    if (paths.isEmpty()) return groups;
    QList<DuplicateGroup> kept;
    for (DuplicateGroup& group : groups) {
        group.removeFiles(paths);
        if (group.files.size() >= DuplicateScanner::kMinGroupSize) kept.append(std::move(group));
    }
    return kept;
}

} // namespace

DuplicateFinder::DuplicateFinder(md::MetadataIndex* index, Trash* trash, QObject* parent)
    : DuplicateFinder(index, trash, defaultHashCachePath(), parent)
{
}

DuplicateFinder::DuplicateFinder(md::MetadataIndex* index, Trash* trash,
                                 const QString& hashCachePath, QObject* parent)
    : DuplicateSummary(parent)
    , m_index(index)
    , m_trash(trash)
    , m_hashCache(std::make_shared<HashCache>(hashCachePath))
{
    if (m_trash)
        m_trash->registerStore(this, [this](const QSet<QString>& paths) { remove(paths); });
}

QString DuplicateFinder::defaultHashCachePath()
{
    return xdg::appCacheDir() + QStringLiteral("/duplicate-hashes.cache");
}

void DuplicateFinder::finishForExit()
{
    m_stopping->store(true);
    m_tasks.cancelAll();
    // Saved from a pool thread and waited for with a std::future: waiting on a
    // QFuture may run a task that has not started on this, the GUI thread. The
    // digests of a scan cut short are kept, as its own save would keep them.
    auto saving = std::make_shared<std::promise<void>>();
    std::future<void> saved = saving->get_future();
    background::run(background::Pool::files, [cache = m_hashCache, saving] {
        cache->save(true);
        saving->set_value();
    });
    saved.wait();
}

DuplicateFinder::~DuplicateFinder()
{
    // The scans poll this flag between files; the task set then waits for them.
    m_stopping->store(true);
}

QFuture<SpotlightResult> DuplicateFinder::gather(const QString& query, const QStringList& scopes,
                                                 qsizetype limit, Spotlight::Accept accept) const
{
    if (m_gather) return m_gather(query, scopes, limit, std::move(accept));
    if (!m_index) return QtFuture::makeReadyFuture(SpotlightResult());
    return Spotlight::run(*m_index, query, scopes, QStringLiteral("kMDItemFSContentChangeDate"),
                          limit, std::move(accept));
}

DuplicateScanner::Workers DuplicateFinder::workers(int threads) const
{
    DuplicateScanner::Workers w;
    w.pool = &background::pool(background::Pool::hashing);
    w.threadCount = threads;
    const auto stopping = m_stopping;
    w.isCancelled = [stopping]() { return stopping->load(); };
    return w;
}

DuplicateScanner::Progress DuplicateFinder::progressFor(bool similar)
{
    // Each report travels to the main thread on its own; the finder outlives
    // every worker (its destructor waits for them), and queued calls to a
    // destroyed receiver are dropped.
    auto wanted = (similar ? m_similarScan : m_exactScan).stillWanted();
    return [this, similar, wanted](int done, int total) {
        QMetaObject::invokeMethod(
            this,
            [this, similar, wanted, done, total]() {
                applyProgress(similar, wanted(), done, total);
            },
            Qt::QueuedConnection);
    };
}

void DuplicateFinder::applyProgress(bool similar, bool isCurrentScan, int done, int total)
{
    const auto next =
        phaseAfterReport(similar ? m_similarPhase : m_phase, isCurrentScan, done, total);
    if (!next) return;
    similar ? setSimilarPhase(*next) : setPhase(*next);
}

std::optional<DuplicateFinder::Phase>
DuplicateFinder::phaseAfterReport(Phase now, bool isCurrentScan, int done, int total)
{
    if (!isCurrentScan || now.kind != Phase::Kind::hashing || done < now.done) return std::nullopt;
    return Phase::hashing(done, std::max(total, 1));
}

QFuture<void> DuplicateFinder::scan(const QStringList& scopes)
{
    if (m_phase.isBusy()) return QtFuture::makeReadyFuture();
    m_trashedDuringExact.clear();
    m_exactDone = std::make_shared<QPromise<void>>();
    m_exactDone->start();
    QFuture<void> done = m_exactDone->future();
    setPhase(Phase::gathering());
    m_exactScan.run(
        ++m_exactScans,
        [&] { return gather(QLatin1String(kExactQuery), scopes, kExactLimit, acceptsForExact); },
        [this](const SpotlightResult& result) { hashExact(result); });
    return done;
}

void DuplicateFinder::hashExact(const SpotlightResult& result)
{
    setScannedFiles(int(result.totalCount));
    setPhase(Phase::hashing(0, 1));
    const QList<FileItem> files = result.items;
    const auto progress = progressFor(false);
    const DuplicateScanner::Workers base = workers(1);
    // The task holds the cache and the counter it uses, so both outlive it.
    const auto hashing =
        m_tasks.run(background::Pool::hashing, [files, progress, base, cache = m_hashCache,
                                                counter = m_bytesRead]() {
            DuplicateScanner::Workers w = base;
            w.threadCount =
                isRotational(files) ? 1 : background::threadCount(background::Pool::hashing);
            w.bytesRead = counter.get();
            if (!files.isEmpty()) {
                cache->load();
                w.cache = cache.get();
            }
            auto groups = withoutVanished(DuplicateScanner::exactDuplicates(files, progress, w),
                                          w.isCancelled);
            // A scan cut short saw only some of its files: the digests of
            // the rest stay for the next one.
            if (w.cache) cache->save(w.isCancelled());
            return groups;
        });
    background::then(hashing, m_exactScan.stillWanted(),
                     [this](const QList<DuplicateGroup>& groups) { publish(false, groups); });
}

QFuture<void> DuplicateFinder::scanSimilar(const QStringList& scopes)
{
    if (m_similarPhase.isBusy()) return QtFuture::makeReadyFuture();
    m_trashedDuringSimilar.clear();
    m_similarDone = std::make_shared<QPromise<void>>();
    m_similarDone->start();
    QFuture<void> done = m_similarDone->future();
    setSimilarPhase(Phase::gathering());
    m_similarScan.run(
        ++m_similarScans,
        [&] { return gather(QLatin1String(kPhotoQuery), scopes, kPhotoLimit, acceptsPhoto); },
        [this](const SpotlightResult& result) { analysePhotos(result); });
    return done;
}

void DuplicateFinder::analysePhotos(const SpotlightResult& result)
{
    // An extra copy of an exact group is not a photo of its own; the copy kept
    // there still is.
    QSet<QString> extras;
    for (const DuplicateGroup& group : std::as_const(m_exact))
        for (const FileItem& file : group.extras())
            extras.insert(file.path);
    QList<FileItem> candidates;
    for (const FileItem& item : result.items)
        if (!extras.contains(item.path)) candidates.append(item);
    setSimilarPhase(Phase::hashing(0, std::max(int(candidates.size()), 1)));
    const auto progress = progressFor(true);
    const DuplicateScanner::Workers w = workers(background::threadCount(background::Pool::hashing));
    const auto analysing = m_tasks.run(background::Pool::hashing, [candidates, progress, w]() {
        return withoutVanished(DuplicateScanner::similarPhotos(candidates, progress, w),
                               w.isCancelled);
    });
    background::then(analysing, m_similarScan.stillWanted(),
                     [this](const QList<DuplicateGroup>& groups) { publish(true, groups); });
}

void DuplicateFinder::publish(bool similar, QList<DuplicateGroup> groups)
{
    if (similar) {
        setSimilar(forgetting(std::move(groups), m_trashedDuringSimilar));
        m_trashedDuringSimilar.clear();
        setSimilarPhase(Phase::finished());
        if (m_similarDone) m_similarDone->finish();
        return;
    }
    setExact(forgetting(std::move(groups), m_trashedDuringExact));
    m_trashedDuringExact.clear();
    setPhase(Phase::finished());
    const double now = double(QDateTime::currentMSecsSinceEpoch()) / 1000.0;
    if (now != m_lastScanTime) {
        m_lastScanTime = now;
        emit lastScanTimeChanged();
    }
    if (m_exactDone) m_exactDone->finish();
}

qint64 DuplicateFinder::exactReclaimable() const
{
    qint64 sum = 0;
    for (const DuplicateGroup& group : m_exact)
        sum += group.reclaimable();
    return sum;
}

qint64 DuplicateFinder::similarReclaimable() const
{
    qint64 sum = 0;
    for (const DuplicateGroup& group : m_similar)
        sum += group.reclaimable();
    return sum;
}

int DuplicateFinder::extraCopies() const
{
    int count = 0;
    for (const DuplicateGroup& group : m_exact)
        count += int(group.files.size()) - 1;
    return count;
}

void DuplicateFinder::setKeeper(const QString& path, const QUuid& id)
{
    const auto update =
        [&](const QList<DuplicateGroup>& groups) -> std::optional<QList<DuplicateGroup>> {
        for (qsizetype i = 0; i < groups.size(); ++i) {
            if (groups[i].id != id) continue;
            QList<DuplicateGroup> next = groups;
            next[i].setKeep(path);
            return next;
        }
        return std::nullopt;
    };
    if (auto next = update(m_exact)) setExact(std::move(*next));
    if (auto next = update(m_similar)) setSimilar(std::move(*next));
}

void DuplicateFinder::remove(const QSet<QString>& paths)
{
    if (paths.isEmpty()) return;
    if (m_phase.isBusy()) m_trashedDuringExact.unite(paths);
    if (m_similarPhase.isBusy()) m_trashedDuringSimilar.unite(paths);
    setExact(forgetting(m_exact, paths));
    setSimilar(forgetting(m_similar, paths));
}

struct DuplicateFinder::TrashPlan {
    // Extras that may go, as the scan saw them: the Trash refuses a path that
    // names another file by the time it moves.
    QList<FileItem> extras;
    QSet<QString> dropGroups; // group ids (text) that stand down
    QSet<QString> leaveFiles; // extras that changed or went since the scan
    QList<StoodDown> stoodDown;
};

namespace {

using Sameness = DuplicateScanner::Sameness;

// The file the scan read, not rewritten since: same device and inode, size
// and modification time.
bool asScanned(const struct stat& st, const FileStamp& stamp)
{
    return std::uint64_t(st.st_dev) == stamp.device && std::uint64_t(st.st_ino) == stamp.inode &&
           qint64(st.st_size) == stamp.size &&
           qint64(st.st_mtim.tv_sec) * 1000000000 + st.st_mtim.tv_nsec == stamp.modifiedNs;
}

bool isGone(const QString& path)
{
    struct stat st {};
    return ::lstat(QFile::encodeName(path).constData(), &st) != 0 && errno == ENOENT;
}

// The kept copy of look-alike photos is still a regular file of the size the
// scan recorded and, where the scan read it, the very file it read, unchanged.
bool keeperStands(const DuplicateGroup& group)
{
    const FileItem& keeper = group.keeper();
    const FileStamp stamp = group.stampOf(keeper.path);
    struct stat st {};
    return ::lstat(QFile::encodeName(keeper.path).constData(), &st) == 0 && S_ISREG(st.st_mode) &&
           qint64(st.st_size) == keeper.size && (stamp.size < 0 || asScanned(st, stamp));
}

// An extra is moved only while it is what the scan compared.
bool extraUnchanged(const DuplicateGroup& group, const FileItem& extra)
{
    const FileStamp stamp = group.stampOf(extra.path);
    struct stat st {};
    if (::lstat(QFile::encodeName(extra.path).constData(), &st) != 0 || !S_ISREG(st.st_mode))
        return false;
    return stamp.size < 0 || asScanned(st, stamp);
}

} // namespace

void DuplicateFinder::planExactGroup(TrashPlan& plan, const DuplicateGroup& group,
                                     const std::function<bool()>& isCancelled)
{
    // Sizes, times and inodes can all be put back after an edit in place; only
    // the bytes tell that the kept copy still holds what the extras hold.
    const FileItem& keeper = group.keeper();
    std::optional<StoodDown::Reason> reason;
    QList<FileItem> extras;
    QSet<QString> gone;
    for (const FileItem& extra : group.extras()) {
        if (isGone(extra.path)) {
            gone.insert(extra.path);
            continue;
        }
        const Sameness same =
            DuplicateScanner::compareContents(keeper.path, extra.path, isCancelled);
        if (same == Sameness::cancelled) return;
        if (same == Sameness::same) {
            extras.append(extra);
            continue;
        }
        reason = isGone(keeper.path)            ? StoodDown::Reason::keeperGone
                 : same == Sameness::unreadable ? StoodDown::Reason::unreadable
                                                : StoodDown::Reason::copiesDiffer;
        break;
    }
    if (reason) {
        plan.dropGroups.insert(group.id.toString());
        plan.stoodDown.append({keeper.name, *reason});
        return;
    }
    plan.extras.append(extras);
    plan.leaveFiles.unite(gone);
}

void DuplicateFinder::planSimilarGroup(TrashPlan& plan, const DuplicateGroup& group)
{
    if (!keeperStands(group)) {
        plan.dropGroups.insert(group.id.toString());
        return;
    }
    for (const FileItem& extra : group.extras()) {
        if (extraUnchanged(group, extra))
            plan.extras.append(extra);
        else
            plan.leaveFiles.insert(extra.path);
    }
}

DuplicateFinder::TrashPlan DuplicateFinder::planTrash(const QList<DuplicateGroup>& exact,
                                                      const QList<DuplicateGroup>& similar,
                                                      const std::function<bool()>& isCancelled)
{
    TrashPlan plan;
    for (const DuplicateGroup& group : exact) {
        if (isCancelled()) return {};
        planExactGroup(plan, group, isCancelled);
    }
    for (const DuplicateGroup& group : similar)
        planSimilarGroup(plan, group);
    if (isCancelled()) return {};
    return plan;
}

QFuture<DuplicateFinder::TrashResult> DuplicateFinder::trashExtras(const QList<QUuid>& ids)
{
    QList<DuplicateGroup> exact;
    QList<DuplicateGroup> similar;
    for (const DuplicateGroup& group : std::as_const(m_exact))
        if (ids.contains(group.id)) exact.append(group);
    for (const DuplicateGroup& group : std::as_const(m_similar))
        if (ids.contains(group.id)) similar.append(group);
    if ((exact.isEmpty() && similar.isEmpty()) || !m_trash)
        return QtFuture::makeReadyFuture(TrashResult());
    // The checks read the disk, so they run off the main thread; the move
    // starts from the main thread, as the one Trash wants.
    const auto stopping = m_stopping;
    const auto planning = m_tasks.run(
        background::Pool::files, [exact, similar, stopping](QPromise<TrashPlan>& promise) {
            const auto isCancelled = [&] { return promise.isCanceled() || stopping->load(); };
            TrashPlan plan = planTrash(exact, similar, isCancelled);
            if (!isCancelled()) promise.addResult(std::move(plan));
        });
    return background::then(planning, this,
                            [this](const TrashPlan& plan) {
                                applyPlan(plan);
                                TrashResult result;
                                result.stoodDown = plan.stoodDown;
                                if (plan.extras.isEmpty()) return QtFuture::makeReadyFuture(result);
                                return background::then(
                                    m_trash->moveToTrash(plan.extras), this,
                                    [result](const Trash::Outcome& outcome) mutable {
                                        result.outcome = outcome;
                                        return result;
                                    });
                            })
        .unwrap();
}

void DuplicateFinder::applyPlan(const TrashPlan& plan)
{
    if (plan.dropGroups.isEmpty() && plan.leaveFiles.isEmpty()) return;
    const auto apply = [&](const QList<DuplicateGroup>& groups) {
        QList<DuplicateGroup> kept;
        for (const DuplicateGroup& group : groups)
            if (!plan.dropGroups.contains(group.id.toString())) kept.append(group);
        return forgetting(std::move(kept), plan.leaveFiles);
    };
    setExact(apply(m_exact));
    setSimilar(apply(m_similar));
}

void DuplicateFinder::setPhase(Phase phase)
{
    if (phase == m_phase) return;
    m_phase = phase;
    emit phaseChanged();
    emit changed();
}

void DuplicateFinder::setSimilarPhase(Phase phase)
{
    if (phase == m_similarPhase) return;
    m_similarPhase = phase;
    emit similarPhaseChanged();
}

void DuplicateFinder::setExact(QList<DuplicateGroup> groups)
{
    if (groups == m_exact) return;
    m_exact = std::move(groups);
    emit exactChanged();
    emit changed();
}

void DuplicateFinder::setSimilar(QList<DuplicateGroup> groups)
{
    if (groups == m_similar) return;
    m_similar = std::move(groups);
    emit similarChanged();
}

void DuplicateFinder::setScannedFiles(int count)
{
    if (count == m_scannedFiles) return;
    m_scannedFiles = count;
    emit scannedFilesChanged();
}

} // namespace ovra
