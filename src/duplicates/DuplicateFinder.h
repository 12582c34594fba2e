#pragma once

#include "DuplicateGroup.h"
#include "DuplicateScanner.h"
#include "HashCache.h"
#include "library/Spotlight.h"
#include "library/Trash.h"
#include "platform/Background.h"
#include "platform/KeyedTask.h"
#include "ui/AppContext.h"

#include <QFuture>
#include <QList>
#include <QMetaType>
#include <QPromise>
#include <QSet>

#include <atomic>
#include <memory>

namespace ovra {

namespace md {
class MetadataIndex;
}

// The state of both duplicate searches, exact copies and look-alike photos:
// their phases, their groups and the keep choice of each group. Main thread
// only; the scans run on its own threads, at low priority.
class DuplicateFinder : public DuplicateSummary {
    Q_OBJECT
public:
    struct Phase {
        enum class Kind { idle, gathering, hashing, finished };
        Kind kind = Kind::idle;
        int done = 0;
        int total = 0;

        static Phase idle() { return {}; }
        static Phase gathering() { return {Kind::gathering, 0, 0}; }
        static Phase hashing(int done, int total) { return {Kind::hashing, done, total}; }
        static Phase finished() { return {Kind::finished, 0, 0}; }
        bool isBusy() const { return kind == Kind::gathering || kind == Kind::hashing; }
        friend bool operator==(const Phase&, const Phase&) = default;
    };

    // The phase a progress report leads to; none when the report must be
    // ignored: it belongs to an older scan, arrives after its scan finished,
    // or was overtaken by a later one. A late report can never put a finished
    // scan back into hashing.
    static std::optional<Phase> phaseAfterReport(Phase now, bool isCurrentScan, int done,
                                                 int total);

    Q_PROPERTY(ovra::DuplicateFinder::Phase phase READ phase NOTIFY phaseChanged)
    Q_PROPERTY(
        ovra::DuplicateFinder::Phase similarPhase READ similarPhase NOTIFY similarPhaseChanged)
    Q_PROPERTY(QList<ovra::DuplicateGroup> exact READ exact NOTIFY exactChanged)
    Q_PROPERTY(QList<ovra::DuplicateGroup> similar READ similar NOTIFY similarChanged)
    Q_PROPERTY(int scannedFiles READ scannedFiles NOTIFY scannedFilesChanged)
    Q_PROPERTY(double lastScanTime READ lastScanTime NOTIFY lastScanTimeChanged)

    // How the scans find their candidates; the metadata index unless a test
    // gives its own.
    using Gather =
        std::function<QFuture<SpotlightResult>(const QString& query, const QStringList& scopes,
                                               qsizetype limit, Spotlight::Accept accept)>;

    // A group whose extras were left where they are, and why.
    struct StoodDown {
        enum class Reason { keeperGone, copiesDiffer, unreadable };
        QString keeperName;
        Reason reason = Reason::copiesDiffer;
        friend bool operator==(const StoodDown&, const StoodDown&) = default;
    };
    struct TrashResult {
        Trash::Outcome outcome;
        QList<StoodDown> stoodDown;
    };

    // Registers with the Trash, so a file trashed from any screen leaves the groups.
    // The digests of earlier scans are kept in `hashCachePath` (none: in memory
    // only).
    DuplicateFinder(md::MetadataIndex* index, Trash* trash, QObject* parent = nullptr);
    DuplicateFinder(md::MetadataIndex* index, Trash* trash, const QString& hashCachePath,
                    QObject* parent = nullptr);
    // Where the app keeps the digests of its scans.
    static QString defaultHashCachePath();
    // Stops both scans and waits for their threads.
    ~DuplicateFinder() override;
    // For the end of the process: the scans are told to stop and the digests
    // found so far are saved, but the scans' threads, which run at idle priority
    // and may take seconds to notice on a busy machine, are not waited for.
    void finishForExit();

    void setGather(Gather gather) { m_gather = std::move(gather); }

    Phase phase() const { return m_phase; }
    Phase similarPhase() const { return m_similarPhase; }
    const QList<DuplicateGroup>& exact() const { return m_exact; }
    const QList<DuplicateGroup>& similar() const { return m_similar; }
    int scannedFiles() const { return m_scannedFiles; }
    // When the last exact scan published, seconds since 1970; 0 before.
    double lastScanTime() const { return m_lastScanTime; }
    // Bytes the exact scans read from the files so far; any thread.
    qint64 bytesRead() const { return m_bytesRead->load(); }

    qint64 exactReclaimable() const override;
    qint64 similarReclaimable() const;
    int extraCopies() const override;
    bool isIdle() const override { return m_phase.kind == Phase::Kind::idle; }

    // Runs the exact scan; the future finishes when it has published. While a
    // scan runs it starts nothing and answers a finished future.
    QFuture<void> scan(const QStringList& scopes) override;
    QFuture<void> scanSimilar(const QStringList& scopes);

    // Makes a file of the group the one to keep; a path that is no file of
    // the group keeps the group's first file.
    void setKeeper(const QString& path, const QUuid& id);
    // Drops the files from every group; a group left with one file goes, and
    // a group whose keeper went keeps its first remaining file.
    void remove(const QSet<QString>& paths);

    // Moves the extras of the groups (by id) to the Trash. Off the main thread
    // it first compares each extra of a group of exact copies with its kept
    // copy, byte for byte: a group where any differs, or the kept copy is gone
    // or unreadable, stands down whole (nothing of it moves, it leaves the
    // list, and the result says why); the other groups go ahead. An extra gone
    // by other means leaves its group. Look-alike photos are never equal: there
    // the kept copy must still be the file the scan read, and an extra that
    // changed since stays and leaves its group.
    QFuture<TrashResult> trashExtras(const QList<QUuid>& ids);

signals:
    void phaseChanged();
    void similarPhaseChanged();
    void exactChanged();
    void similarChanged();
    void scannedFilesChanged();
    void lastScanTimeChanged();

private:
    struct TrashPlan;
    static TrashPlan planTrash(const QList<DuplicateGroup>& exact,
                               const QList<DuplicateGroup>& similar,
                               const std::function<bool()>& isCancelled);
    static void planExactGroup(TrashPlan& plan, const DuplicateGroup& group,
                               const std::function<bool()>& isCancelled);
    static void planSimilarGroup(TrashPlan& plan, const DuplicateGroup& group);
    QFuture<SpotlightResult> gather(const QString& query, const QStringList& scopes,
                                    qsizetype limit, Spotlight::Accept accept) const;
    DuplicateScanner::Workers workers(int threads) const;
    DuplicateScanner::Progress progressFor(bool similar);
    void applyProgress(bool similar, bool isCurrentScan, int done, int total);
    void hashExact(const SpotlightResult& result);
    void analysePhotos(const SpotlightResult& result);
    void publish(bool similar, QList<DuplicateGroup> groups);
    void applyPlan(const TrashPlan& plan);

    void setPhase(Phase phase);
    void setSimilarPhase(Phase phase);
    void setExact(QList<DuplicateGroup> groups);
    void setSimilar(QList<DuplicateGroup> groups);
    void setScannedFiles(int count);

    md::MetadataIndex* m_index;
    Trash* m_trash;
    Gather m_gather;
    Phase m_phase;
    Phase m_similarPhase;
    QList<DuplicateGroup> m_exact;
    QList<DuplicateGroup> m_similar;
    int m_scannedFiles = 0;
    double m_lastScanTime = 0;
    // Each scan is a run of its own: what arrives for an earlier one is dropped.
    quint64 m_exactScans = 0;
    quint64 m_similarScans = 0;
    KeyedTask<quint64> m_exactScan;
    KeyedTask<quint64> m_similarScan;
    // Files trashed while a scan ran: its groups were made before they went.
    QSet<QString> m_trashedDuringExact;
    QSet<QString> m_trashedDuringSimilar;
    std::shared_ptr<QPromise<void>> m_exactDone;
    std::shared_ptr<QPromise<void>> m_similarDone;
    std::shared_ptr<std::atomic<bool>> m_stopping = std::make_shared<std::atomic<bool>>(false);
    std::shared_ptr<std::atomic<qint64>> m_bytesRead = std::make_shared<std::atomic<qint64>>(0);
    std::shared_ptr<HashCache> m_hashCache;
    // The scans and the checks before a move; last, so they are cancelled and
    // waited for before the rest goes.
    background::TaskSet m_tasks;
};

} // namespace ovra

Q_DECLARE_METATYPE(ovra::DuplicateFinder::Phase)
