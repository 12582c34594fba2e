#pragma once

#include "AttributeCache.h"
#include "IndexState.h"
#include "platform/CoalescingWriter.h"

#include <QString>

#include <functional>
#include <future>
#include <memory>
#include <vector>

namespace ovra::md {

// What the index keeps on disk between runs: the tables of the last run, which
// spare a start its walks, and the attributes that cost a file read. Both are
// read in the background from the moment the index is made.
//
// The cache and the saved tables are the builder's: call those members with the
// index's build lock held. Saving may be asked from any thread.
class IndexPersistence {
public:
    // `persist` false keeps nothing on disk and reads nothing back; `readsLater`
    // true reads it only from `startReading` or the first use on.
    IndexPersistence(QString cacheDir, bool persist, const CurrentTables& current,
                     bool readsLater = false);
    ~IndexPersistence();
    IndexPersistence(const IndexPersistence&) = delete;
    IndexPersistence& operator=(const IndexPersistence&) = delete;

    // The first saved table for which `wanted` answers true, taken out of the
    // saved ones; null when none is left that it wants.
    std::shared_ptr<Table> takeSaved(const std::function<bool(const Table&)>& wanted);

    // Starts reading the saved tables and the attribute cache; nothing when
    // that has started already. Any thread.
    void startReading();
    // Waits for the attribute cache read that construction started.
    void loadCacheOnce();
    // The cache as loaded (empty before `loadCacheOnce`).
    const AttributeMap& cache() const { return m_cache; }
    // After new tables were published: the cache is brought in line with them
    // when files changed (and saved when that changed it), then let go.
    void tablesChanged(const TableSet& tables, std::size_t contentReads, bool filesChanged);

    // Writes the current tables on a pool thread.
    void saveTables();
    void waitForSaves();

private:
    void loadSavedOnce();
    void writeTables();
    void releaseCache();
    // Saves the cache the tables make; only the records of files outside them
    // stay in memory, until the cache is let go.
    void rebuildCache(const TableSet& tables, bool readSomething);
    QString tablesFile() const;
    QString cacheFile() const;

    QString m_cacheDir;
    bool m_persist;
    const CurrentTables& m_current;

    std::once_flag m_readStarted;
    std::promise<void> m_readStart;
    std::shared_future<void> m_readGate = m_readStart.get_future().share();
    AttributeMap m_cache;
    bool m_cacheLoaded = false;
    std::future<AttributeMap> m_cacheLoading;
    std::vector<std::shared_ptr<Table>> m_saved; // loaded, not yet taken by a scope
    bool m_savedLoaded = false;
    std::future<std::vector<std::shared_ptr<Table>>> m_savedLoading;

    // A save reads the tables as they are when it runs, so the newest is
    // written last; the persistence waits for it as it goes.
    CoalescingWriter m_saves{background::Pool::index};
};

} // namespace ovra::md
