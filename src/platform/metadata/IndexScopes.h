#pragma once

#include "IndexPersistence.h"
#include "IndexState.h"

#include <QString>
#include <QStringList>

#include <atomic>
#include <chrono>
#include <condition_variable>
#include <functional>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_map>
#include <unordered_set>
#include <utility>
#include <vector>

namespace ovra::md {

class IndexFollower;

// Which folders the index covers, and keeping their tables in step with the
// disk: the first walk of a scope (or its saved table and a catch-up behind
// it), refreshes, the changes the watches report, and the listeners told of
// them. One walk or refresh at a time; each publishes a new table set.
class IndexScopes {
public:
    // For tests: `beforeCatchUp` runs on a saved table's catch-up thread before
    // it looks at the disk, `afterFirstWalk` on a first walk's thread once it
    // has listed its scopes, before their tables are published.
    IndexScopes(CurrentTables& current, IndexPersistence& persistence, QString recentlyUsedFile,
                int threads, std::size_t watchLimit, std::function<void()> beforeCatchUp = {},
                std::function<void()> afterFirstWalk = {});
    ~IndexScopes();
    IndexScopes(const IndexScopes&) = delete;
    IndexScopes& operator=(const IndexScopes&) = delete;

    // Walks every scope that the tables do not cover yet.
    void ensureScopes(const QStringList& scopes);
    // Brings every table up to date and reads the recently-used list again.
    void refresh();
    // No query answers the paths from now on; never waits for a walk. The
    // folders that held them are listed again soon.
    void forget(const QStringList& paths);
    // True when some indexed folder has no watch: a query must refresh first.
    bool needsRefreshBeforeQuery() const;
    void stop() { m_stopping = true; }
    // Stops following the disk and waits until the tables due a save are on
    // it. Queries still answer from the tables held.
    void shutDown();
    // Waits for the attribute cache read that the index's making started.
    void waitForCache();

    int addChangeHandler(std::function<void()> handler);
    void removeChangeHandler(int id);

private:
    // The scopes asked for that no table covers, without those inside another.
    QStringList missingScopes(const QStringList& wanted) const;
    // The table of each scope: its saved one, else a walk. Scopes answered from a
    // saved table are added to `toCatchUp`. False when the index stopped.
    using RecentlyUsed = std::unordered_map<std::string, double>;
    bool tablesFor(const QStringList& roots, const RecentlyUsed& recent, std::uint64_t listedSince,
                   std::vector<std::shared_ptr<const Table>>& added, QStringList& toCatchUp,
                   std::size_t& reads, bool& walked);
    void takeOtherSavedTables(const RecentlyUsed& recent,
                              std::vector<std::shared_ptr<const Table>>& added,
                              QStringList& toCatchUp);
    // What changed the tables while a catch-up walked: the folders the watches
    // reported, or everything (lost events, a refresh).
    struct AppliedChanges {
        bool isCatchingUp = false;
        bool everything = false;
        std::unordered_set<std::string> folders;

        bool any() const { return everything || !folders.empty(); }
        void note(const std::unordered_set<std::string>& changed, bool all);
    };
    void startCatchUp(const QStringList& roots);
    void waitForCatchUps();
    void catchUp(const QStringList& roots);
    std::vector<std::shared_ptr<Table>>
    caughtUp(const std::vector<std::shared_ptr<const Table>>& loaded, std::uint64_t listedSince,
             std::size_t& reads, std::size_t& listed);
    void foldIn(const std::vector<std::shared_ptr<const Table>>& loaded,
                const std::vector<std::shared_ptr<Table>>& caught, std::size_t reads,
                std::size_t listed);
    std::shared_ptr<const Table> reapply(const Table& caught, const AppliedChanges& applied);
    void applyChanges(const std::unordered_set<std::string>& folders, bool everything);
    void publish(std::shared_ptr<TableSet> next, std::size_t reads, bool filesChanged,
                 const Relisted& relisted = {});
    void notifyChanged();
    RecentlyUsed recentlyUsed() const;

    // Live changes pile up for a while before the tables are written again.
    static constexpr std::chrono::milliseconds kLiveSaveDelay{30000};

    CurrentTables& m_current;
    IndexPersistence& m_persistence;
    QString m_recentlyUsedFile;
    int m_threads;
    std::mutex m_buildMutex; // one walk or refresh at a time; guards the cache
    std::atomic_bool m_stopping = false;
    std::function<void()> m_beforeCatchUp;
    std::function<void()> m_afterFirstWalk;
    std::mutex m_catchUpMutex;
    std::condition_variable m_catchUpIdle;
    int m_catchUpsRunning = 0;
    std::mutex m_catchUpRunMutex;          // one catch-up at a time
    AppliedChanges m_appliedDuringCatchUp; // guarded by the build mutex
    std::mutex m_handlerMutex;
    std::vector<std::pair<int, std::function<void()>>> m_changeHandlers;
    int m_lastHandlerId = 0;
    // Last: its thread calls into everything above.
    std::unique_ptr<IndexFollower> m_follower;
};

} // namespace ovra::md
