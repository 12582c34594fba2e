#pragma once

#include "Attribute.h"
#include "Item.h"
#include "Query.h"

#include "../UniformType.h"

#include <QString>
#include <QStringList>

#include <cstdint>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ovra::content {
class ContentIndex;
struct FileStamp;
} // namespace ovra::content

namespace ovra::md {

class IndexStore; // the table and everything behind it; private to the index

// The file-metadata index that every collection, category and search runs on.
// The first query over a folder walks it once, in parallel, into a compact
// in-memory table; later queries evaluate against the table. The tables are
// saved under the cache folder after a walk or refresh: the next start answers
// from them at once and lists again only the folders that changed meanwhile.
// While it lives, the index watches its folders and follows the disk within a
// second. Attributes that cost a file read are also cached on disk, keyed by
// path, size and modification time. `refresh` re-lists only folders whose
// modification time changed.
//
// It never follows symbolic links and never indexes hidden entries (a name that
// begins with "." below an indexed scope), nor names that are not valid UTF-8.
//
// Every member is blocking and thread-safe: call it off the GUI thread. Queries
// run concurrently with each other and with a refresh; each sees one consistent
// snapshot of the table.
class MetadataIndex {
public:
    struct Options {
        QString cacheDir;         // default: $XDG_CACHE_HOME/Ovra
        QString recentlyUsedFile; // default: $XDG_DATA_HOME/recently-used.xbel
        int threads = 0;          // 0: one per core
        bool persistCache = true; // keep read attributes on disk
        // Answers kMDItemTextContent; without it no file has words.
        std::shared_ptr<content::ContentIndex> contentIndex;
        // Above zero: the most folders watched at once, standing in for the
        // kernel's limit (for tests).
        std::size_t watchLimit = 0;
        // True: the tables and attributes saved by the last run are read only
        // from `startReading` or the first query on, so a window's first frame
        // does not share the machine with their parsing.
        bool readsSavedLater = false;
        // For tests: runs on the thread of a saved table's catch-up before it
        // looks at the disk.
        std::function<void()> beforeCatchUp;
        // For tests: runs on a first walk's thread once it has listed its
        // scopes, before the tables it made answer any query.
        std::function<void()> afterFirstWalk;
    };

    MetadataIndex();
    explicit MetadataIndex(Options options);
    ~MetadataIndex();
    MetadataIndex(const MetadataIndex&) = delete;
    MetadataIndex& operator=(const MetadataIndex&) = delete;

    // Blocks until the attribute cache, read in the background from the moment
    // the index is made, is in memory (the first walk waits for it anyway).
    void waitForCache();
    // Starts reading what the last run saved, for an index made with
    // `readsSavedLater`; nothing otherwise, or when it has started already.
    void startReading();

    // Walks every scope that the table does not cover yet.
    void ensureScopes(const QStringList& scopes);
    // Brings every indexed scope up to date and re-reads the recently-used list.
    void refresh();
    // Files that left their folders (moved to the Trash): no query answers
    // them, or what lies below them, from now on, nor from a table a walk
    // under way publishes later. Never waits for a walk or a refresh: the
    // folders that held them are listed again behind it.
    void forget(const QStringList& paths);
    // For quitting: a walk or refresh in progress ends soon without changing
    // the table, and none starts any more; queries answer from what is indexed.
    void stop();
    // For the end of the process: stops following the disk and waits until
    // every table due a save is on it. Queries still answer.
    void shutDown();

    // `handler` is called on an index thread whenever the tables changed behind
    // the askers' backs (the disk was seen to change, a saved index caught up).
    // Not throttled: a listener that reloads views or reads files should wait a
    // little to take several at once. Several listeners may follow the index;
    // removing one waits for a call to it in progress.
    using ChangeHandlerId = int;
    ChangeHandlerId addChangeHandler(std::function<void()> handler);
    void removeChangeHandler(ChangeHandlerId id);

    // One query's answer: the matching files, best first by the sort key, kept
    // alive as a snapshot of the table they came from.
    class Results {
    public:
        Results();
        ~Results();
        Results(Results&&) noexcept;
        Results& operator=(Results&&) noexcept;

        std::size_t count() const;
        // The number of matches before `maxResults` cut the list.
        std::size_t totalMatches() const { return m_totalMatches; }
        QString path(std::size_t i) const;
        std::int64_t fileSize(std::size_t i) const;
        // Inside an application bundle, library package, build or dependency
        // folder (judged below its scope): skipped by every collection.
        bool isNoise(std::size_t i) const;
        // The file's type alone, for a test that needs nothing else.
        UniformType contentType(std::size_t i) const;
        // `complete` false leaves out the type's texts (its handle is set) and the
        // download origins, which a file list never shows: cheaper when hundreds
        // of thousands are read.
        Item item(std::size_t i, bool complete = true) const;
        // The download origins alone, as read once for the index.
        QStringList whereFroms(std::size_t i) const;
        // Whether the results stand in the sort key's order (see `query`).
        bool isOrdered() const { return m_ordered; }
        // Of the given results, the first `count` in the sort key's order.
        std::vector<std::size_t> firstInOrder(std::vector<std::size_t> indices,
                                              std::size_t count) const;

    private:
        friend class MetadataIndex;
        friend class IndexQuery;
        struct Data;
        std::unique_ptr<Data> m_data;
        std::size_t m_totalMatches = 0;
        bool m_ordered = true;
    };

    // Evaluates `query` over the scopes (walking those not indexed yet), ordered
    // by `sortKey` descending, files without it last; at most `maxResults` are
    // kept. An invalid query gives no results and walks nothing. When
    // `isCancelled` answers true the evaluation stops and the answer is empty.
    // With `ordered` false the kept results (still the best `maxResults`) come
    // in no particular order, for a caller that orders only the few it lists
    // (`Results::firstInOrder`); a text sort key always orders them.
    Results query(const Query& query, const QStringList& scopes, std::optional<Attr> sortKey,
                  std::size_t maxResults = 300000, const std::function<bool()>& isCancelled = {},
                  bool ordered = true);

    // The attributes of one file, from the table when it is indexed and current,
    // else read from the file system (the stand-in for MDItemCopyAttribute).
    // Nothing for a missing, hidden or non-UTF-8 path.
    std::optional<Item> itemAtPath(const QString& path);

    // Every indexed file whose words the content index can read, as it is now.
    std::vector<content::FileStamp> documentStamps() const;

    struct Stats {
        std::size_t files = 0; // entries that are not folders
        std::size_t folders = 0;
        std::size_t memoryBytes = 0;  // held by the table
        std::size_t contentReads = 0; // files whose content was read (cache misses)
    };
    Stats stats() const;

    // How many threads a walk, a refresh or a query's evaluation runs on.
    int threadCount() const;

private:
    std::unique_ptr<IndexStore> m_store;
};

} // namespace ovra::md
