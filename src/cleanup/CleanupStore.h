#pragma once

#include "cleanup_model/CleanupKind.h"
#include "library/Spotlight.h"
#include "library/Summaries.h"
#include "platform/Background.h"
#include "platform/LoadRequests.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QPromise>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>

namespace ovra {

class Trash;
namespace md {
class MetadataIndex;
}

// The cleanup suggestions: each kind's last finished search. A load searches
// the kinds one after another on the index's pool and publishes each as
// soon as it is found; the previous answers stay until replaced. Main thread
// only.
class CleanupStore : public CleanupSummary {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)

public:
    // One kind's search, run on a worker thread.
    using Search = std::function<SpotlightResult(CleanupKind kind, const QStringList& scopes)>;

    // Registers with the Trash (when given), so a move from any screen drops
    // the moved files from every kind.
    CleanupStore(md::MetadataIndex& index, Trash* trash, QObject* parent = nullptr);
    CleanupStore(Search search, Trash* trash, QObject* parent = nullptr);
    ~CleanupStore() override;

    // Loads every kind unless this token was the last loaded. Asked with a
    // newer token while a load runs, it loads once more when that load ends.
    // The future finishes when the store has nothing more to load.
    QFuture<void> load(const QStringList& scopes, qint64 token) override;
    qint64 totalReclaimable() const override;

    bool loading() const { return m_loading; }
    qint64 loadedToken() const { return m_requests.loadedToken(); }
    const QHash<CleanupKind, SpotlightResult>& results() const { return m_results; }
    // None until the kind's first search has finished.
    std::optional<SpotlightResult> result(CleanupKind kind) const;
    // Bytes of the listed files that are also among `paths`, each counted once:
    // what the reclaimable total and another tool's total have in common.
    qint64 bytesAmong(const QSet<QString>& paths) const;

    // Drops trashed files from every kind, lowering its totals.
    void remove(const QSet<QString>& paths);

signals:
    void resultsChanged(ovra::CleanupKind kind);
    void loadingChanged();

private:
    void start(const QStringList& scopes, qint64 token);
    void searchFrom(int index, const QStringList& scopes, qint64 token);
    void finish(qint64 token);
    void setLoading(bool loading);
    void store(CleanupKind kind, SpotlightResult result);
    // Every listed file's bytes once, or only those of `only` when given.
    qint64 listedBytes(const QSet<QString>* only) const;

    Search m_search;
    QHash<CleanupKind, SpotlightResult> m_results;
    bool m_loading = false;
    // Files trashed while a load runs: a search that read them before the move
    // must not bring them back.
    QSet<QString> m_trashedDuringLoad;
    LoadRequests m_requests;
    // Last, so the store's work is cancelled and waited for before the rest goes.
    background::TaskSet m_tasks;
};

} // namespace ovra
