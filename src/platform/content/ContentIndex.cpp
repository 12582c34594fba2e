#include "ContentIndex.h"

#include "ExtractHelper.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QThread>

#include <sqlite3.h>

#include <chrono>
#include <condition_variable>
#include <deque>
#include <mutex>
#include <optional>
#include <thread>
#include <unordered_map>

#include <malloc.h>
#include <sys/resource.h>
#include <sys/syscall.h>
#include <unistd.h>

namespace ovra::content {
namespace {

using Outcome = ExtractedText::Outcome;
using Clock = std::chrono::steady_clock;

// Bumped whenever the tables or the tokenizer change; an older file is rebuilt.
constexpr int kSchemaVersion = 2; // 2: words are indexed spelled out

// A write batch ends after this many files or this long, whichever comes first:
// large enough to amortise the commit, small enough that queries see progress.
constexpr std::size_t kBatchFiles = 500;
constexpr auto kBatchTime = std::chrono::milliseconds(1000);
// Extracted texts waiting for the writer, per extraction thread. The writer
// takes the whole queue at once and the readers fill it again meanwhile, so
// twice this many texts are held at the most.
constexpr std::size_t kQueuedPerThread = 4;
// Files handed to a helper at once: while the app takes in one file's text the
// helper reads the next, and never waits for a request.
constexpr std::size_t kFilesPerRequest = 4;
// Fast compression: the stored text is read back only to check a pattern the
// folded index cannot decide, or to take a changed file's old words out.
constexpr int kCompressionLevel = 1;

constexpr const char* kSchema = R"sql(
CREATE TABLE IF NOT EXISTS files(
    id INTEGER PRIMARY KEY,
    path TEXT NOT NULL UNIQUE,
    size INTEGER NOT NULL,
    mtime REAL NOT NULL,
    outcome INTEGER NOT NULL);
CREATE TABLE IF NOT EXISTS texts(
    id INTEGER PRIMARY KEY,
    data BLOB NOT NULL);
CREATE VIRTUAL TABLE IF NOT EXISTS words USING fts5(
    text, content='', tokenize='unicode61 remove_diacritics 2', prefix='3');
)sql";

// Every statement the index runs, so that a database can be checked against them
// all before it is used.
constexpr const char* kSelectFiles = "SELECT id, path, size, mtime FROM files";
constexpr const char* kSelectText = "SELECT data FROM texts WHERE id = ?1";
constexpr const char* kInsertFile =
    "INSERT INTO files(path, size, mtime, outcome) VALUES(?1, ?2, ?3, ?4)";
constexpr const char* kUpdateFile =
    "UPDATE files SET size = ?2, mtime = ?3, outcome = ?4 WHERE id = ?1";
constexpr const char* kDeleteFile = "DELETE FROM files WHERE id = ?1";
constexpr const char* kMoveFile = "UPDATE files SET path = ?2 WHERE id = ?1";
constexpr const char* kInsertText = "INSERT INTO texts(id, data) VALUES(?1, ?2)";
constexpr const char* kDeleteText = "DELETE FROM texts WHERE id = ?1";
constexpr const char* kInsertWords = "INSERT INTO words(rowid, text) VALUES(?1, ?2)";
constexpr const char* kDeleteWords =
    "INSERT INTO words(words, rowid, text) VALUES('delete', ?1, ?2)";
constexpr const char* kMatchPaths =
    "SELECT f.path FROM words JOIN files f ON f.id = words.rowid WHERE words MATCH ?1";
constexpr const char* kMatchTexts = "SELECT f.path, t.data FROM words JOIN files f ON f.id = "
                                    "words.rowid JOIN texts t ON t.id = f.id WHERE words MATCH ?1";
constexpr const char* kAllTexts = "SELECT f.path, t.data FROM files f JOIN texts t ON t.id = f.id";
constexpr const char* kCountFiles = "SELECT count(*) FROM files";

// ---- a thin layer over the SQLite C API ---------------------------------------

// A statement that failed to prepare, or a bind that failed, makes every later
// step fail instead of handing SQLite a null or half-bound statement.
class Statement {
public:
    Statement(sqlite3* db, const char* sql)
    {
        if (!db || sqlite3_prepare_v3(db, sql, -1, 0, &m_stmt, nullptr) != SQLITE_OK) {
            sqlite3_finalize(m_stmt);
            m_stmt = nullptr;
        }
        m_isBound = m_stmt != nullptr;
    }
    ~Statement() { sqlite3_finalize(m_stmt); }
    Statement(const Statement&) = delete;
    Statement& operator=(const Statement&) = delete;

    bool isValid() const { return m_stmt != nullptr; }
    Statement& bind(int i, std::int64_t v)
    {
        return checked(m_stmt && sqlite3_bind_int64(m_stmt, i, v) == SQLITE_OK);
    }
    Statement& bind(int i, double v)
    {
        return checked(m_stmt && sqlite3_bind_double(m_stmt, i, v) == SQLITE_OK);
    }
    Statement& bind(int i, const QByteArray& text)
    {
        return checked(m_stmt && sqlite3_bind_text(m_stmt, i, text.constData(), int(text.size()),
                                                   SQLITE_TRANSIENT) == SQLITE_OK);
    }
    Statement& bindBlob(int i, const QByteArray& blob)
    {
        return checked(m_stmt && sqlite3_bind_blob(m_stmt, i, blob.constData(), int(blob.size()),
                                                   SQLITE_TRANSIENT) == SQLITE_OK);
    }
    Statement& bindStatic(int i, const char* data, std::size_t size)
    {
        return checked(m_stmt &&
                       sqlite3_bind_text(m_stmt, i, data, int(size), SQLITE_STATIC) == SQLITE_OK);
    }
    // SQLITE_ROW, SQLITE_DONE or an error.
    int step() { return m_isBound ? sqlite3_step(m_stmt) : SQLITE_MISUSE; }
    bool run()
    {
        const int rc = step();
        reset();
        return rc == SQLITE_DONE || rc == SQLITE_ROW;
    }
    void reset()
    {
        if (!m_stmt) return;
        sqlite3_reset(m_stmt);
        sqlite3_clear_bindings(m_stmt);
        m_isBound = true;
    }

    std::int64_t integer(int col) const { return sqlite3_column_int64(m_stmt, col); }
    double real(int col) const { return sqlite3_column_double(m_stmt, col); }
    QString text(int col) const
    {
        const auto* data = reinterpret_cast<const char*>(sqlite3_column_text(m_stmt, col));
        return QString::fromUtf8(data, sqlite3_column_bytes(m_stmt, col));
    }
    QByteArray blob(int col) const
    {
        const auto* data = static_cast<const char*>(sqlite3_column_blob(m_stmt, col));
        return QByteArray(data, sqlite3_column_bytes(m_stmt, col));
    }

private:
    Statement& checked(bool isBound)
    {
        m_isBound = m_isBound && isBound;
        return *this;
    }

    sqlite3_stmt* m_stmt = nullptr;
    bool m_isBound = false;
};

bool exec(sqlite3* db, const char* sql)
{
    return sqlite3_exec(db, sql, nullptr, nullptr, nullptr) == SQLITE_OK;
}

sqlite3* openConnection(const QString& path)
{
    sqlite3* db = nullptr;
    // Each connection is used by one thread at a time, so SQLite's own locking
    // of the connection is not needed.
    const int flags = SQLITE_OPEN_READWRITE | SQLITE_OPEN_CREATE | SQLITE_OPEN_NOMUTEX;
    UserFile::checkThread(QFile::encodeName(path).constData());
    if (sqlite3_open_v2(path.toUtf8().constData(), &db, flags, nullptr) != SQLITE_OK) {
        sqlite3_close_v2(db);
        return nullptr;
    }
    sqlite3_busy_timeout(db, 5000);
    return db;
}

int schemaVersion(sqlite3* db)
{
    Statement version(db, "PRAGMA user_version");
    return version.step() == SQLITE_ROW ? int(version.integer(0)) : -1;
}

// A file of this version made by something else (or damaged in its schema) has
// tables of our names with other columns: every statement of the index must
// prepare against it, or it is not ours.
bool hasOurTables(sqlite3* db)
{
    for (const char* sql : {kSelectFiles, kSelectText, kInsertFile, kUpdateFile, kDeleteFile,
                            kMoveFile, kInsertText, kDeleteText, kInsertWords, kDeleteWords,
                            kMatchPaths, kMatchTexts, kAllTexts, kCountFiles}) {
        if (!Statement(db, sql).isValid()) return false;
    }
    return true;
}

// Opens the writer's connection and makes the tables. The file is a cache: when it
// is damaged or from another version it is thrown away and built again.
sqlite3* openWriter(const QString& path)
{
    for (int attempt = 0; attempt < 2; ++attempt) {
        if (sqlite3* db = openConnection(path)) {
            const int version = schemaVersion(db);
            const bool isUsable =
                (version == 0 || version == kSchemaVersion) &&
                exec(db, "PRAGMA journal_mode=WAL") && exec(db, "PRAGMA synchronous=NORMAL") &&
                exec(db, kSchema) && hasOurTables(db) &&
                exec(db, QByteArray("PRAGMA user_version=" + QByteArray::number(kSchemaVersion))
                             .constData());
            if (isUsable) return db;
            sqlite3_close_v2(db);
        }
        for (const char* suffix : {"", "-wal", "-shm"})
            QFile::remove(path + QLatin1String(suffix));
    }
    return nullptr;
}

// Update threads yield to everything the user is doing.
void lowerThisThreadsPriority(int niceness)
{
    const auto tid = static_cast<id_t>(::syscall(SYS_gettid));
    ::setpriority(PRIO_PROCESS, tid, niceness);
    constexpr int kIoprioWhoProcess = 1;
    constexpr int kIoprioClassIdle = 3;
    constexpr int kIoprioClassShift = 13;
    ::syscall(SYS_ioprio_set, kIoprioWhoProcess, int(tid), kIoprioClassIdle << kIoprioClassShift);
}

struct Recorded {
    std::int64_t id;
    std::int64_t size;
    double modified;
};

// A recorded file to take out of the index, or to give the path of a new file
// that is the same file renamed or moved.
struct Vanished {
    QString path;
    Recorded recorded;
    QString movedTo; // empty: gone
};

// A file to (re-)read, and what the index holds for it now.
struct Job {
    FileStamp stamp;
    TextFormat format;
    std::int64_t existingId; // 0: new
};

struct Extracted {
    std::size_t job;
    Outcome outcome;
    QByteArray words;      // UTF-8 with letters spelled out, for the index
    QByteArray compressed; // the text as read, for the texts table
};

} // namespace

// ---- the database ------------------------------------------------------------------

class ContentIndex::Database {
public:
    explicit Database(Options options)
        : m_options(std::move(options))
        , m_extractor(m_options.limits)
    {
        if (m_options.databasePath.isEmpty())
            m_options.databasePath = xdg::appCacheDir() + QStringLiteral("/content-index.sqlite");
    }

    ~Database()
    {
        for (sqlite3* db : m_idleReaders)
            sqlite3_close_v2(db);
        sqlite3_close_v2(m_writer);
    }

    // The database is opened by the first call that needs it, on that caller's
    // thread: the app makes the index on the GUI thread, which opens no file.
    bool isOpen()
    {
        std::call_once(m_opening, [this] {
            QDir().mkpath(QFileInfo(m_options.databasePath).absolutePath());
            m_writer = openWriter(m_options.databasePath);
        });
        return m_writer != nullptr;
    }
    const Options& options() const { return m_options; }

    UpdateResult update(std::vector<FileStamp> files, const std::atomic_bool* cancelled,
                        const ProgressCallback& onProgress);
    Progress progress() const { return {m_done.load(), m_total.load(), m_isRunning.load()}; }

    QSet<QString> matchingPaths(const ContentPattern& pattern);
    std::size_t fileCount();

private:
    // A read connection for this call, returned to the pool afterwards.
    class Reader {
    public:
        explicit Reader(Database& database)
            : m_database(database)
            , m_db(database.acquireReader())
        {
        }
        ~Reader() { m_database.releaseReader(m_db); }
        sqlite3* db() const { return m_db; }

    private:
        Database& m_database;
        sqlite3* m_db;
    };

    sqlite3* acquireReader()
    {
        {
            std::lock_guard lock(m_readersMutex);
            if (!m_idleReaders.empty()) {
                sqlite3* db = m_idleReaders.back();
                m_idleReaders.pop_back();
                return db;
            }
        }
        return isOpen() ? openConnection(m_options.databasePath) : nullptr;
    }

    void releaseReader(sqlite3* db)
    {
        if (!db) return;
        std::lock_guard lock(m_readersMutex);
        m_idleReaders.push_back(db);
    }

    // Helpers live from one update to the next; each extraction thread takes one.
    std::unique_ptr<ExtractHelper> takeHelper()
    {
        {
            std::lock_guard lock(m_helpersMutex);
            if (!m_idleHelpers.empty()) {
                std::unique_ptr<ExtractHelper> helper = std::move(m_idleHelpers.back());
                m_idleHelpers.pop_back();
                return helper;
            }
        }
        return std::make_unique<ExtractHelper>(
            ExtractHelper::Options{m_helperProgram, m_options.limits, m_options.helperMemoryLimit,
                                   m_options.helperDeadline});
    }

    void returnHelper(std::unique_ptr<ExtractHelper> helper)
    {
        std::lock_guard lock(m_helpersMutex);
        m_idleHelpers.push_back(std::move(helper));
    }

    // Looked for on the first update, off the thread that made the index.
    void findHelperProgram()
    {
        if (!m_options.usesHelpers || m_hasLookedForHelper) return;
        m_hasLookedForHelper = true;
        m_helperProgram = m_options.helperProgram.isEmpty() ? ExtractHelper::findProgram()
                                                            : m_options.helperProgram;
        if (m_helperProgram.isEmpty())
            qWarning("content: no ovra-extract helper found; documents are not read");
    }

    QHash<QString, Recorded> recordedFiles();
    // The files to read (new or changed) and those gone from the list.
    void compare(std::vector<FileStamp> files, std::vector<Job>& jobs,
                 std::vector<Vanished>& vanished, UpdateResult& result);
    static std::vector<Vanished> findMoves(std::vector<Vanished> vanished, std::vector<Job>& jobs);
    bool dropVanished(const std::vector<Vanished>& vanished, const std::atomic_bool* cancelled,
                      UpdateResult& result);
    bool removeFiles(const std::vector<std::int64_t>& ids);
    bool removeWords(std::int64_t id);
    bool write(const Job& job, const Extracted& extracted);
    struct Extraction;
    void readAndWrite(std::vector<Job>& jobs, const std::atomic_bool* cancelled,
                      const ProgressCallback& onProgress, UpdateResult& result);
    void extractLoop(Extraction& run);
    // Each reads one job here, or a helper's batch of them, and hands the texts
    // on; false once the update is cancelled.
    bool extractHere(Extraction& run, std::size_t job);
    bool extractInHelper(Extraction& run, ExtractHelper& helper, std::size_t first,
                         std::vector<QByteArray>& files, std::vector<bool>& delivered);
    void writeLoop(Extraction& run);

    Options m_options;
    TextExtractor m_extractor;
    std::once_flag m_opening;
    sqlite3* m_writer = nullptr;
    std::mutex m_updateMutex;
    std::mutex m_readersMutex;
    std::vector<sqlite3*> m_idleReaders;
    std::atomic<std::size_t> m_done{0};
    std::atomic<std::size_t> m_total{0};
    std::atomic_bool m_isRunning{false};
    bool m_hasLookedForHelper = false;
    QString m_helperProgram; // empty: read in this process
    std::mutex m_helpersMutex;
    std::vector<std::unique_ptr<ExtractHelper>> m_idleHelpers;
};

QHash<QString, Recorded> ContentIndex::Database::recordedFiles()
{
    QHash<QString, Recorded> recorded;
    Statement select(m_writer, kSelectFiles);
    while (select.step() == SQLITE_ROW)
        recorded.insert(select.text(1), {select.integer(0), select.integer(2), select.real(3)});
    return recorded;
}

// Takes a file's words out of the index. The index keeps no copy of the text it
// was given, so the stored text is handed back to it for the removal.
bool ContentIndex::Database::removeWords(std::int64_t id)
{
    Statement select(m_writer, kSelectText);
    const int found = select.bind(1, id).step();
    if (found == SQLITE_DONE) return true;
    if (found != SQLITE_ROW) return false;
    // The words were indexed spelled out: they must be taken out the same way.
    const QByteArray text = spelledOut(qUncompress(select.blob(0)));
    select.reset();
    Statement remove(m_writer, kDeleteWords);
    Statement removeText(m_writer, kDeleteText);
    return remove.bind(1, id).bind(2, text).run() && removeText.bind(1, id).run();
}

// A file renamed or moved keeps its size and modification time: a new file
// with the very stamp and format of one vanished file, and no other new or
// vanished file sharing that stamp, is that file, and its words move with it
// instead of being read again. Copies made with their times kept share a stamp
// and are read.
std::vector<Vanished> ContentIndex::Database::findMoves(std::vector<Vanished> vanished,
                                                        std::vector<Job>& jobs)
{
    if (vanished.empty()) return vanished;
    using Key = std::pair<std::int64_t, double>;
    struct KeyHash {
        std::size_t operator()(const Key& key) const
        {
            return std::hash<std::int64_t>()(key.first) * 31 + std::hash<double>()(key.second);
        }
    };
    // How many vanished files have a stamp, and the last one's place.
    std::unordered_map<Key, std::pair<int, std::size_t>, KeyHash> gone;
    gone.reserve(vanished.size());
    for (std::size_t i = 0; i < vanished.size(); ++i) {
        auto& [count, at] = gone[{vanished[i].recorded.size, vanished[i].recorded.modified}];
        ++count;
        at = i;
    }
    std::unordered_map<Key, int, KeyHash> added;
    for (const Job& job : jobs)
        if (!job.existingId && gone.count({job.stamp.size, job.stamp.modified}))
            ++added[{job.stamp.size, job.stamp.modified}];
    std::erase_if(jobs, [&](const Job& job) {
        if (job.existingId) return false;
        const Key key{job.stamp.size, job.stamp.modified};
        const auto it = gone.find(key);
        if (it == gone.end() || it->second.first != 1 || added[key] != 1) return false;
        Vanished& from = vanished[it->second.second];
        const qsizetype slash = from.path.lastIndexOf(u'/');
        if (textFormatForFileName(QStringView(from.path).mid(slash + 1)) != job.format)
            return false;
        from.movedTo = job.stamp.path;
        return true;
    });
    return vanished;
}

// In batches, so a quit in the middle of a large folder's removal keeps what
// is done and leaves the rest to the next update.
bool ContentIndex::Database::dropVanished(const std::vector<Vanished>& vanished,
                                          const std::atomic_bool* cancelled, UpdateResult& result)
{
    Statement move(m_writer, kMoveFile);
    for (std::size_t begin = 0; begin < vanished.size(); begin += kBatchFiles) {
        if (cancelled && cancelled->load(std::memory_order_relaxed)) {
            result.wasCancelled = true;
            return true;
        }
        const std::size_t end = std::min(vanished.size(), begin + kBatchFiles);
        bool ok = exec(m_writer, "BEGIN");
        std::vector<std::int64_t> gone;
        for (std::size_t i = begin; ok && i < end; ++i) {
            const Vanished& v = vanished[i];
            if (v.movedTo.isEmpty())
                gone.push_back(v.recorded.id);
            else
                ok = move.bind(1, v.recorded.id).bind(2, v.movedTo.toUtf8()).run();
        }
        const std::size_t moved = end - begin - gone.size();
        if (!ok || !removeFiles(gone) || !exec(m_writer, "COMMIT")) {
            exec(m_writer, "ROLLBACK");
            return false;
        }
        result.moved += moved;
        result.removed += gone.size();
    }
    return true;
}

bool ContentIndex::Database::removeFiles(const std::vector<std::int64_t>& ids)
{
    Statement remove(m_writer, kDeleteFile);
    for (const std::int64_t id : ids) {
        if (!removeWords(id) || !remove.bind(1, id).run()) return false;
    }
    return true;
}

bool ContentIndex::Database::write(const Job& job, const Extracted& extracted)
{
    if (job.existingId && !removeWords(job.existingId)) return false;
    if (extracted.outcome == Outcome::Unreadable) {
        // Not recorded, so the next update tries again (permissions may change
        // without the file changing).
        return !job.existingId || removeFiles({job.existingId});
    }
    const QByteArray path = job.stamp.path.toUtf8();
    std::int64_t id = job.existingId;
    if (id) {
        Statement change(m_writer, kUpdateFile);
        if (!change.bind(1, id)
                 .bind(2, job.stamp.size)
                 .bind(3, job.stamp.modified)
                 .bind(4, std::int64_t(extracted.outcome))
                 .run())
            return false;
    } else {
        Statement add(m_writer, kInsertFile);
        if (!add.bind(1, path)
                 .bind(2, job.stamp.size)
                 .bind(3, job.stamp.modified)
                 .bind(4, std::int64_t(extracted.outcome))
                 .run())
            return false;
        id = sqlite3_last_insert_rowid(m_writer);
    }
    if (extracted.words.isEmpty()) return true;
    Statement addText(m_writer, kInsertText);
    Statement addWords(m_writer, kInsertWords);
    return addText.bind(1, id).bindBlob(2, extracted.compressed).run() &&
           addWords.bind(1, id)
               .bindStatic(2, extracted.words.constData(), extracted.words.size())
               .run();
}

// Consumes `files`: the jobs then hold the only copies of the paths to read.
void ContentIndex::Database::compare(std::vector<FileStamp> files, std::vector<Job>& jobs,
                                     std::vector<Vanished>& vanished, UpdateResult& result)
{
    QHash<QString, Recorded> recorded = recordedFiles();
    QSet<QString> listed;
    listed.reserve(qsizetype(files.size()));
    for (FileStamp& stamp : files) {
        const qsizetype slash = stamp.path.lastIndexOf(u'/');
        const TextFormat format = textFormatForFileName(QStringView(stamp.path).mid(slash + 1));
        if (format == TextFormat::None || listed.contains(stamp.path)) continue;
        listed.insert(stamp.path);
        const auto it = recorded.constFind(stamp.path);
        if (it == recorded.constEnd()) {
            jobs.push_back({std::move(stamp), format, 0});
        } else if (it->size != stamp.size || it->modified != stamp.modified) {
            jobs.push_back({std::move(stamp), format, it->id});
        } else {
            ++result.unchanged;
        }
    }
    files = {};
    for (auto it = recorded.cbegin(); it != recorded.cend(); ++it) {
        if (!listed.contains(it.key())) vanished.push_back({it.key(), *it, {}});
    }
    recorded.clear();
    vanished = findMoves(std::move(vanished), jobs);
}

ContentIndex::UpdateResult ContentIndex::Database::update(std::vector<FileStamp> files,
                                                          const std::atomic_bool* cancelled,
                                                          const ProgressCallback& onProgress)
{
    UpdateResult result;
    std::lock_guard updateLock(m_updateMutex);
    if (!isOpen()) {
        result.succeeded = false;
        return result;
    }
    auto isCancelled = [cancelled] {
        return cancelled && cancelled->load(std::memory_order_relaxed);
    };
    findHelperProgram();

    // 1. Compare the list with what is recorded.
    std::vector<Job> jobs;
    std::vector<Vanished> vanished;
    compare(std::move(files), jobs, vanished, result);
    // A quit right after a large change leaves all of it to the next start.
    if (isCancelled()) {
        result.wasCancelled = !jobs.empty() || !vanished.empty();
        return result;
    }

    m_done = 0;
    m_total = jobs.size();
    m_isRunning = true;

    // 2. Drop what vanished; move what was renamed.
    if (!dropVanished(vanished, cancelled, result)) result.succeeded = false;

    // 3. Read the new and changed files and write what they hold.
    readAndWrite(jobs, cancelled, onProgress, result);
    // A first pass over a large home listed hundreds of thousands of paths; what
    // the pool threads freed of them stays with the process unless handed back.
    jobs = {};
    ::malloc_trim(0);

    result.wasCancelled = result.wasCancelled || (isCancelled() && m_done < m_total);
    m_isRunning = false;
    if (onProgress) onProgress(progress());
    return result;
}

// The files are read on a pool of low-priority threads and written from one
// more in batched transactions; a bounded queue between them keeps the readers
// from running far ahead of the writer.
struct ContentIndex::Database::Extraction {
    // The writer empties each job's path once written; the readers are done
    // with a job by the time it is handed over.
    std::vector<Job>& jobs;
    const std::atomic_bool* cancelled;
    const ProgressCallback& onProgress;
    UpdateResult& result;
    std::size_t queueLimit;
    int runningExtractors;
    // Two conditions, so a text handed over wakes the writer alone, and the
    // writer, taking the whole queue at once, wakes the readers once: with every
    // reader waiting for room (the writer sets the pace), one shared condition
    // woke all of them for each text and the writer queued for the lock behind
    // them.
    std::mutex queueMutex{};
    std::condition_variable queueHasRoom{};
    std::condition_variable queueHasWork{};
    std::deque<Extracted> queue{};
    std::deque<Extracted> taken{}; // the writer's own
    std::atomic<std::size_t> nextJob{0};
    std::atomic<std::size_t> helperRestarts{0};

    bool isCancelled() const { return cancelled && cancelled->load(std::memory_order_relaxed); }

    // Hands one file's text to the writer, waiting while the queue is full.
    void deliver(std::size_t job, ExtractedText& text)
    {
        Extracted extracted{job, text.outcome, {}, {}};
        if (text.outcome == Outcome::Text && !text.text.isEmpty()) {
            extracted.compressed = qCompress(text.text, kCompressionLevel);
            // Spelled out here rather than by the one writer, which every
            // reader waits for.
            extracted.words = spelledOut(text.text);
        }
        {
            std::unique_lock lock(queueMutex);
            queueHasRoom.wait(lock, [&] { return queue.size() < queueLimit || isCancelled(); });
            queue.push_back(std::move(extracted));
        }
        queueHasWork.notify_one();
    }

    // The next text for the writer; nothing when none came in a batch's time,
    // or when every reader is done (`finished`).
    std::optional<Extracted> take(bool& finished)
    {
        if (taken.empty()) {
            {
                std::unique_lock lock(queueMutex);
                queueHasWork.wait_for(lock, kBatchTime,
                                      [&] { return !queue.empty() || runningExtractors == 0; });
                finished = queue.empty() && runningExtractors == 0;
                taken.swap(queue);
            }
            if (taken.empty()) return std::nullopt;
            queueHasRoom.notify_all();
        }
        std::optional<Extracted> next = std::move(taken.front());
        taken.pop_front();
        return next;
    }

    void extractorDone()
    {
        {
            std::lock_guard lock(queueMutex);
            --runningExtractors;
        }
        queueHasWork.notify_one();
    }
};

void ContentIndex::Database::readAndWrite(std::vector<Job>& jobs, const std::atomic_bool* cancelled,
                                          const ProgressCallback& onProgress, UpdateResult& result)
{
    const int threadCount = m_options.threads > 0 ? m_options.threads : QThread::idealThreadCount();
    const std::size_t queueLimit = kQueuedPerThread * std::size_t(threadCount);
    Extraction run{jobs, cancelled, onProgress, result, queueLimit, threadCount};
    std::vector<std::thread> threads;
    threads.reserve(std::size_t(threadCount) + 1);
    for (int i = 0; i < threadCount; ++i)
        threads.emplace_back([this, &run] { extractLoop(run); });
    threads.emplace_back([this, &run] { writeLoop(run); });
    for (std::thread& thread : threads)
        thread.join();
    result.helperRestarts = run.helperRestarts;
}

void ContentIndex::Database::extractLoop(Extraction& run)
{
    // Started from this thread, a helper inherits its low priority.
    lowerThisThreadsPriority(m_options.niceness);
    std::unique_ptr<ExtractHelper> helper = m_helperProgram.isEmpty() ? nullptr : takeHelper();
    const int restartsBefore = helper ? helper->restarts() : 0;
    std::vector<QByteArray> files;
    std::vector<bool> delivered;
    while (!run.isCancelled()) {
        const std::size_t first = run.nextJob.fetch_add(helper ? kFilesPerRequest : 1);
        if (first >= run.jobs.size()) break;
        const bool goOn = helper ? extractInHelper(run, *helper, first, files, delivered)
                                 : extractHere(run, first);
        if (!goOn) break;
    }
    if (helper) {
        run.helperRestarts += std::size_t(helper->restarts() - restartsBefore);
        returnHelper(std::move(helper));
    }
    run.extractorDone();
}

bool ContentIndex::Database::extractHere(Extraction& run, std::size_t job)
{
    // Read here only when asked to; without a helper a document waits for an
    // update that has one.
    ExtractedText text;
    if (m_options.usesHelpers)
        text.outcome = Outcome::Unreadable;
    else
        text = m_extractor.extract(run.jobs[job].stamp.path, run.jobs[job].format);
    if (run.isCancelled()) return false;
    run.deliver(job, text);
    return true;
}

bool ContentIndex::Database::extractInHelper(Extraction& run, ExtractHelper& helper,
                                             std::size_t first, std::vector<QByteArray>& files,
                                             std::vector<bool>& delivered)
{
    const std::size_t end = std::min(first + kFilesPerRequest, run.jobs.size());
    files.clear();
    for (std::size_t i = first; i < end; ++i)
        files.push_back(
            ExtractHelper::file(std::uint8_t(run.jobs[i].format), run.jobs[i].stamp.path));
    delivered.assign(files.size(), false);
    helper.ask(protocol::RequestKind::Text, files, run.cancelled,
               [&](std::size_t file, HelperReply& reply) {
                   // A file cut short by the cancellation is read again next time.
                   if (run.isCancelled()) return;
                   ExtractedText text;
                   if (reply.status == HelperReply::Status::Rejected) {
                       text.outcome = Outcome::Rejected;
                   } else {
                       text.outcome = reply.outcome;
                       text.isTruncated = reply.flag;
                       text.text = std::move(reply.bytes);
                   }
                   run.deliver(first + file, text);
                   delivered[file] = true;
               });
    if (run.isCancelled()) return false;
    // No helper could be started for these: read by the next update.
    for (std::size_t file = 0; file < files.size(); ++file) {
        if (delivered[file]) continue;
        ExtractedText unreadable;
        unreadable.outcome = Outcome::Unreadable;
        run.deliver(first + file, unreadable);
    }
    return true;
}

void ContentIndex::Database::writeLoop(Extraction& run)
{
    lowerThisThreadsPriority(m_options.niceness);
    UpdateResult& result = run.result;
    bool inTransaction = false;
    std::size_t batchFiles = 0;
    Clock::time_point batchStart;
    auto commit = [&] {
        if (!inTransaction) return;
        if (!exec(m_writer, "COMMIT")) {
            exec(m_writer, "ROLLBACK");
            result.succeeded = false;
        }
        inTransaction = false;
        batchFiles = 0;
        if (run.onProgress) run.onProgress(progress());
    };
    bool finished = false;
    while (!finished) {
        if (std::optional<Extracted> next = run.take(finished)) {
            if (!inTransaction) {
                inTransaction = exec(m_writer, "BEGIN");
                batchStart = Clock::now();
            }
            Job& job = run.jobs[next->job];
            if (!inTransaction || !write(job, *next)) result.succeeded = false;
            job.stamp.path = QString();
            if (next->outcome == Outcome::Rejected) ++result.rejected;
            ++result.read;
            ++batchFiles;
            ++m_done;
        }
        if (finished) break;
        if (batchFiles >= kBatchFiles || (inTransaction && Clock::now() - batchStart >= kBatchTime))
            commit();
    }
    commit();
}

QSet<QString> ContentIndex::Database::matchingPaths(const ContentPattern& pattern)
{
    QSet<QString> paths;
    if (!pattern.canMatch()) return paths;
    Reader reader(*this);
    if (!reader.db()) return paths;

    const QByteArray query = pattern.indexQuery().toUtf8();
    if (!pattern.needsTextCheck()) {
        Statement select(reader.db(), kMatchPaths);
        select.bind(1, query);
        while (select.step() == SQLITE_ROW)
            paths.insert(select.text(0));
        return paths;
    }
    Statement select(reader.db(), query.isEmpty() ? kAllTexts : kMatchTexts);
    if (!query.isEmpty()) select.bind(1, query);
    while (select.step() == SQLITE_ROW) {
        const QString text = QString::fromUtf8(qUncompress(select.blob(1)));
        if (pattern.matchesText(text)) paths.insert(select.text(0));
    }
    return paths;
}

std::size_t ContentIndex::Database::fileCount()
{
    Reader reader(*this);
    if (!reader.db()) return 0;
    Statement count(reader.db(), kCountFiles);
    return count.step() == SQLITE_ROW ? std::size_t(count.integer(0)) : 0;
}

// ---- the public face ------------------------------------------------------------

ContentIndex::ContentIndex()
    : ContentIndex(Options{})
{
}

ContentIndex::ContentIndex(Options options)
    : m_database(std::make_unique<Database>(std::move(options)))
{
}

ContentIndex::~ContentIndex() = default;

bool ContentIndex::isOpen() const
{
    return m_database->isOpen();
}
QString ContentIndex::databasePath() const
{
    return m_database->options().databasePath;
}

ContentIndex::UpdateResult ContentIndex::update(std::vector<FileStamp> files,
                                                const std::atomic_bool* cancelled,
                                                const ProgressCallback& onProgress)
{
    return m_database->update(std::move(files), cancelled, onProgress);
}

ContentIndex::Progress ContentIndex::progress() const
{
    return m_database->progress();
}

QSet<QString> ContentIndex::matchingPaths(QStringView term, bool isPrefix) const
{
    return m_database->matchingPaths(ContentPattern::word(term, isPrefix));
}

QSet<QString> ContentIndex::matchingPaths(QStringView pattern, bool ignoresCase,
                                          bool ignoresDiacritics, bool isWordBased) const
{
    return m_database->matchingPaths(
        ContentPattern::compile(pattern, ignoresCase, ignoresDiacritics, isWordBased));
}

QSet<QString> ContentIndex::matchingPaths(const ContentPattern& pattern) const
{
    return m_database->matchingPaths(pattern);
}

std::size_t ContentIndex::fileCount() const
{
    return m_database->fileCount();
}

} // namespace ovra::content
