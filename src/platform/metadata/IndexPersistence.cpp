#include "IndexPersistence.h"

#include "../AtomicSave.h"
#include "../Background.h"
#include "../PathKey.h"
#include "../UniformType.h"
#include "TableFile.h"

#include <algorithm>
#include <chrono>
#include <utility>

#include <malloc.h>

namespace ovra::md {

namespace {

const QString kTablesName = QStringLiteral("metadata-index.tables");
const QString kAttributesName = QStringLiteral("metadata-attributes.cache");

} // namespace

IndexPersistence::IndexPersistence(QString cacheDir, bool persist, const CurrentTables& current,
                                   bool readsLater)
    : m_cacheDir(std::move(cacheDir))
    , m_persist(persist)
    , m_current(current)
{
    if (!readsLater) startReading();
    if (!m_persist) return;
    // Reading the attribute cache takes a while for a large home; it starts
    // now (or when asked to), so it is done by the time the first query walks.
    m_cacheLoading = std::async(std::launch::async, [gate = m_readGate, file = cacheFile()] {
        gate.wait();
        return AttributeCache::load(file);
    });
    // So are the tables saved by the last run, which spare the first query its
    // walk. A save of ours cut short by a kill leaves its temporary beside
    // them, and nothing else would ever remove it.
    m_savedLoading = std::async(
        std::launch::async, [gate = m_readGate, file = tablesFile(), folder = m_cacheDir] {
            gate.wait();
            AtomicSave::removeStaleTemporaries(folder, {kTablesName, kAttributesName});
            return TableFile::load(file);
        });
}

IndexPersistence::~IndexPersistence()
{
    // A read never started would hold its future's end forever.
    startReading();
    waitForSaves();
}

void IndexPersistence::startReading()
{
    std::call_once(m_readStarted, [this] { m_readStart.set_value(); });
}

std::shared_ptr<Table> IndexPersistence::takeSaved(const std::function<bool(const Table&)>& wanted)
{
    loadSavedOnce();
    const auto it = std::find_if(m_saved.begin(), m_saved.end(),
                                 [&](const auto& table) { return wanted(*table); });
    if (it == m_saved.end()) return nullptr;
    std::shared_ptr<Table> table = std::move(*it);
    m_saved.erase(it);
    return table;
}

void IndexPersistence::loadSavedOnce()
{
    if (m_savedLoaded) return;
    m_savedLoaded = true;
    startReading();
    if (m_savedLoading.valid()) m_saved = m_savedLoading.get();
}

void IndexPersistence::loadCacheOnce()
{
    if (m_cacheLoaded) return;
    m_cacheLoaded = true;
    startReading();
    if (m_cacheLoading.valid())
        m_cache = m_cacheLoading.get();
    else if (m_persist)
        m_cache = AttributeCache::load(cacheFile());
}

void IndexPersistence::tablesChanged(const TableSet& tables, std::size_t contentReads,
                                     bool filesChanged)
{
    if (filesChanged) {
        loadCacheOnce();
        rebuildCache(tables, contentReads > 0);
    }
    releaseCache();
}

// Writing a million-file index takes about a second: it is written on a
// pool thread, so the follower goes on applying changes meanwhile. One
// write at a time, and the newest snapshot is written last.
void IndexPersistence::saveTables()
{
    if (!m_persist) return;
    m_saves.save([this] { writeTables(); });
}

void IndexPersistence::waitForSaves()
{
    m_saves.flush();
}

void IndexPersistence::writeTables()
{
    const auto state = m_current.snapshot();
    // Nothing indexed yet (a start that quit before its first query) keeps
    // the last run's file for the next one.
    if (state->tables.empty()) return;
    TableFile::save(tablesFile(), state->tables);
    // The file is made in memory first, about as large as the tables: what
    // it took goes back to the system rather than staying with the process.
    malloc_trim(0);
}

QString IndexPersistence::tablesFile() const
{
    return m_cacheDir + u'/' + kTablesName;
}

QString IndexPersistence::cacheFile() const
{
    return m_cacheDir + u'/' + kAttributesName;
}

// The cache in memory is about as large as the tables it serves: it is kept
// only while a walk needs it, and read again from disk for the next one.
void IndexPersistence::releaseCache()
{
    AttributeMap().swap(m_cache);
    m_cacheLoaded = false;
    // A start that answered from the tables of the last run never took the
    // cache it began reading: once read, it goes too, or it would stay for
    // the life of the index.
    if (m_cacheLoading.valid() &&
        m_cacheLoading.wait_for(std::chrono::seconds(0)) == std::future_status::ready)
        m_cacheLoading = {};
    malloc_trim(0);
}

namespace {

// Which of an entry's attributes cost a read: the cache keeps a record of an
// entry only for those.
struct CostlyAttributes {
    bool sniffed = false;
    bool hasContent = false;
    bool hasReadAccess = false;
    bool any() const { return sniffed || hasContent || hasReadAccess; }
};

CostlyAttributes costlyAttributes(const Table& table, const Entry& e)
{
    const Extra* x = table.extra(e);
    CostlyAttributes costly;
    costly.sniffed = e.flags & TypeFromContent;
    // A file whose read found nothing keeps no extra, but its record still
    // spares the next walk the read; one no helper could read is left for the
    // next walk.
    costly.hasContent = !e.isFolder() && !(x && x->isContentUnread) &&
                        ContentReader::needsRead(UniformType::fromInternId(e.type));
    costly.hasReadAccess = x && x->readAccess.isRecorded();
    return costly;
}

// What the cache keeps of one entry; nothing when the entry cost no read.
std::optional<CachedAttributes> cachedAttributes(const Table& table, const Entry& e)
{
    const CostlyAttributes costly = costlyAttributes(table, e);
    if (!costly.any()) return std::nullopt;
    const Extra* x = table.extra(e);
    CachedAttributes r;
    r.size = e.size;
    r.modified = e.modified;
    if (costly.sniffed) r.typeFromContent = UniformType::fromInternId(e.type).identifier();
    r.hasContent = costly.hasContent;
    if (costly.hasContent && x) r.content = x->content;
    if (costly.hasReadAccess) r.readAccess = x->readAccess;
    return r;
}

std::size_t cachedCount(const Table& table)
{
    return std::size_t(
        std::count_if(table.entries.begin(), table.entries.end(),
                      [&table](const Entry& e) { return costlyAttributes(table, e).any(); }));
}

} // namespace

// The cache keeps what the tables read, plus records of files outside every
// indexed scope (another scope may still want them). Records of files that
// vanished from an indexed scope are dropped. The records of the tables are
// written one at a time as they are made: held all at once beside the tables,
// those of a million files took hundreds of megabytes for a moment.
void IndexPersistence::rebuildCache(const TableSet& tables, bool readSomething)
{
    AttributeMap outside;
    for (auto& [path, record] : m_cache) {
        bool indexed = false;
        const QString p = QString::fromStdString(path);
        for (const auto& t : tables.tables)
            if (pathIsInside(p, t->root)) indexed = true;
        if (!indexed) outside.emplace(path, std::move(record));
    }
    std::size_t count = outside.size();
    for (const auto& t : tables.tables)
        count += cachedCount(*t);
    const bool changed = readSomething || count != m_cache.size();
    m_cache = std::move(outside);
    if (!changed || !m_persist) return;
    AttributeCache::save(cacheFile(), count, [&](const AttributeCache::RecordSink& sink) {
        for (const auto& [path, record] : m_cache)
            sink(path, record);
        std::string path;
        for (const auto& t : tables.tables) {
            for (std::uint32_t i = 0; i < t->entries.size(); ++i) {
                const std::optional<CachedAttributes> r = cachedAttributes(*t, t->entries[i]);
                if (!r) continue;
                path.clear();
                t->appendPath(i, path);
                sink(path, *r);
            }
        }
    });
}

} // namespace ovra::md
