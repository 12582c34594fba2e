#pragma once

#include "AttributeCache.h"
#include "IndexTable.h"

#include <QString>

#include <atomic>
#include <cstddef>
#include <memory>
#include <string>
#include <unordered_set>

namespace ovra::content {
class HelperPool;
}

namespace ovra::md {

struct WalkOptions {
    int threads = 0; // 0: one per core
    // Turned true, the walk lists no more folders and ends soon; its table is
    // then incomplete.
    const std::atomic_bool* stop = nullptr;
    // When set, only these folders (absolute, UTF-8) and folders new since
    // `previous` are read from disk; every other folder is taken from `previous`
    // without a look (someone watching the disk knows they did not change).
    const std::unordered_set<std::string>* changedFolders = nullptr;
    // Where media and PDF files are read; null: the shared pool.
    content::HelperPool* helpers = nullptr;
};

struct WalkOutcome {
    std::shared_ptr<Table> table;  // null when the scope is not a readable folder
    std::size_t contentReads = 0;  // files whose content was read (not found in any cache)
    std::size_t listedFolders = 0; // folders read from disk rather than carried over
};

// Walks `root` on several threads into a new table. With `previous` (the table of
// the same root from an earlier walk), a folder whose modification time is
// unchanged is not listed again: its children are taken from `previous`, and
// content attributes of unchanged files are carried over. `cache` is consulted
// before any file's content is read.
WalkOutcome walkScope(const QString& root, const Table* previous, const AttributeMap& cache,
                      const WalkOptions& options);

// True when no folder of `table` changed since it was walked (same modification
// time, still readable or still unreadable): a refresh can keep the table as it
// is. Stats every folder on several threads; reads no file.
bool isUnchanged(const Table& table, int threads);

// Reads every file's access time again (the one thing a file's use changes
// without touching its folder), on several threads; reads no file.
void refreshAccessTimes(Table& table, int threads);

// The recently-used times of the entries the list names, by entry.
std::unordered_map<std::uint32_t, double>
resolveRecentlyUsed(const Table& table,
                    const std::unordered_map<std::string, double>& recentlyUsed);
void applyRecentlyUsed(Table& table, const std::unordered_map<std::string, double>& recentlyUsed);

} // namespace ovra::md
