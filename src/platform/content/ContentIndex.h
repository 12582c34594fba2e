#pragma once

#include "ContentPattern.h"
#include "TextExtractor.h"

#include <QSet>
#include <QString>
#include <QStringView>

#include <atomic>
#include <chrono>
#include <cstdint>
#include <functional>
#include <memory>
#include <vector>

namespace ovra::content {

// A file as the metadata index last saw it; the content index re-reads a file
// only when one of these changed.
struct FileStamp {
    QString path; // path key
    std::int64_t size = 0;
    double modified = 0; // seconds since 1970, as made by fileTimeSeconds

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// The words inside documents, for kMDItemTextContent: a persistent full-text
// index on SQLite's FTS5, tokenised case- and diacritic-folded, with prefix
// lookups. Each file's extracted text is also kept (compressed), so a pattern that
// the folded index cannot answer exactly is checked against the text, and so a
// changed file's old words can be taken out of the index.
//
// `update` and the queries may run at the same time on different threads; a query
// sees the index as of the last batch that `update` committed.
class ContentIndex {
public:
    struct Options {
        QString databasePath; // default: $XDG_CACHE_HOME/Ovra/content-index.sqlite
        int threads = 0;      // extraction threads; 0: one per core
        int niceness = 10;    // of the update's threads, which also get idle I/O priority
        ExtractLimits limits;
        // Read files in `ovra-extract` helper processes, so that a parser's crash
        // or stall on a hostile file costs a helper, not the app. The program is
        // `helperProgram`, or else the one ExtractHelper::findProgram finds; with
        // none, files are not read (an update with a helper reads them). Reading
        // in this process is for tests that ask for it.
        bool usesHelpers = true;
        QString helperProgram;
        std::int64_t helperMemoryLimit = 1024LL * 1024 * 1024; // address space per helper
        std::chrono::milliseconds helperDeadline{0}; // per file; 0: the time budget and a grace
    };

    struct Progress {
        std::size_t done = 0;  // files read so far in the running (or last) update
        std::size_t total = 0; // files that update has to read
        bool isRunning = false;
    };
    using ProgressCallback = std::function<void(const Progress&)>;

    struct UpdateResult {
        std::size_t read = 0;           // new or changed files whose text was read
        std::size_t unchanged = 0;      // same size and modification time: left alone
        std::size_t removed = 0;        // gone from the list: dropped from the index
        std::size_t moved = 0;          // renamed or moved: their words kept, not read again
        std::size_t rejected = 0;       // malformed, locked or hostile (kept as having no text)
        std::size_t helperRestarts = 0; // helpers started again after a crash or an overrun
        bool wasCancelled = false;
        bool succeeded = true; // false when the database could not be written
    };

    ContentIndex();
    explicit ContentIndex(Options options);
    ~ContentIndex();
    ContentIndex(const ContentIndex&) = delete;
    ContentIndex& operator=(const ContentIndex&) = delete;

    // False when the database could not be opened or created; queries then match
    // nothing and updates fail.
    bool isOpen() const;
    QString databasePath() const;

    // Brings the index in line with `files`, the complete list of files it should
    // cover (files of kinds without text are ignored): new and changed ones are
    // read in parallel at low priority, vanished ones dropped, the rest left alone.
    // Blocking; one update runs at a time. When `cancelled` turns true it stops
    // soon, keeping what it has written (the next update resumes from there).
    // `onProgress` is called from the update's writer thread after each batch.
    // The list is taken whole so that its paths can go as their files are done.
    UpdateResult update(std::vector<FileStamp> files, const std::atomic_bool* cancelled = nullptr,
                        const ProgressCallback& onProgress = {});
    Progress progress() const;

    // The files whose text has a word equal to `term`, or beginning with it when
    // `isPrefix`, ignoring case and diacritics.
    QSet<QString> matchingPaths(QStringView term, bool isPrefix) const;
    // The files whose text satisfies a kMDItemTextContent comparison: the pattern
    // as written between the quotes of the query (escapes intact, "*" wildcards)
    // and its modifiers (see ContentPattern).
    QSet<QString> matchingPaths(QStringView pattern, bool ignoresCase, bool ignoresDiacritics,
                                bool isWordBased) const;
    QSet<QString> matchingPaths(const ContentPattern& pattern) const;

    // Files the index has recorded (with or without text).
    std::size_t fileCount() const;

private:
    class Database;
    std::unique_ptr<Database> m_database;
};

} // namespace ovra::content
