#include "MetadataIndex.h"

#include "../EntryIdentity.h"
#include "../FileTime.h"
#include "../PathKey.h"
#include "../UniformType.h"
#include "../XdgPaths.h"
#include "../content/ContentIndex.h"
#include "IndexPersistence.h"
#include "IndexQuery.h"
#include "IndexScopes.h"
#include "IndexState.h"

#include <QFile>

#include <algorithm>
#include <thread>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ovra::md {
namespace {

// Left to itself, the allocator raises its thresholds after the first large
// array is freed (a walk frees many) until it keeps up to 64 MB free at the top
// of every thread's heap for good. Fixed thresholds keep arrays of up to 32 MB
// (a query's hits) on the heap for reuse, and give back what lies free above
// 8 MB once a walk's arrays and the attribute cache go.
void keepFreedMemoryReturnable()
{
    static const bool once = [] {
        mallopt(M_MMAP_THRESHOLD, 32 << 20);
        mallopt(M_TRIM_THRESHOLD, 8 << 20);
        return true;
    }();
    (void)once;
}

MetadataIndex::Options withDefaults(MetadataIndex::Options options)
{
    keepFreedMemoryReturnable();
    if (options.cacheDir.isEmpty()) options.cacheDir = xdg::appCacheDir();
    if (options.recentlyUsedFile.isEmpty())
        options.recentlyUsedFile = xdg::dataHome() + QStringLiteral("/recently-used.xbel");
    if (options.threads <= 0) options.threads = int(std::thread::hardware_concurrency());
    return options;
}

} // namespace

// The index's parts: the tables as they are now, what is kept on disk, the
// scopes kept in step with the disk, and the queries over them.
class IndexStore {
public:
    explicit IndexStore(MetadataIndex::Options options)
        : m_options(withDefaults(std::move(options)))
        , m_persistence(m_options.cacheDir, m_options.persistCache, m_tables,
                        m_options.readsSavedLater)
        , m_scopes(m_tables, m_persistence, m_options.recentlyUsedFile, m_options.threads,
                   m_options.watchLimit, m_options.beforeCatchUp, m_options.afterFirstWalk)
    {
    }

    IndexScopes& scopes() { return m_scopes; }
    IndexPersistence& persistence() { return m_persistence; }
    int threadCount() const { return m_options.threads; }

    MetadataIndex::Results query(const Query& query, const QStringList& scopes,
                                 std::optional<Attr> sortKey, std::size_t maxResults,
                                 const std::function<bool()>& isCancelled, bool ordered)
    {
        if (!query.isValid()) return {};
        m_scopes.ensureScopes(scopes);
        if (m_scopes.needsRefreshBeforeQuery()) m_scopes.refresh();
        return IndexQuery(m_tables.snapshot(), m_options.threads, m_options.contentIndex.get())
            .run(query, scopes, sortKey, maxResults, isCancelled, ordered);
    }

    std::optional<Item> itemAtPath(const QString& path);
    std::vector<content::FileStamp> documentStamps() const;
    MetadataIndex::Stats stats() const;

private:
    MetadataIndex::Options m_options;
    CurrentTables m_tables;
    IndexPersistence m_persistence;
    // Last: its follower's thread works on everything above.
    IndexScopes m_scopes;
};

std::optional<Item> IndexStore::itemAtPath(const QString& rawPath)
{
    const QString path = pathKey(rawPath);
    if (path.isEmpty()) return std::nullopt;
    const QByteArray local = QFile::encodeName(path);
    if (QFile::decodeName(local) != path) return std::nullopt;
    // Hidden paths are judged below the home folder when the file is inside it.
    const QString home = pathKey(xdg::home());
    const QString relative = pathIsInside(path, home) ? pathBelow(path, home) : path.mid(1);
    for (const QStringView part : QStringView(relative).split(u'/', Qt::SkipEmptyParts))
        if (part.startsWith(u'.')) return std::nullopt;

    struct statx st {};
    if (statx(AT_FDCWD, local.constData(), AT_SYMLINK_NOFOLLOW,
              STATX_TYPE | STATX_MODE | STATX_SIZE | STATX_MTIME | STATX_ATIME | STATX_CTIME |
                  STATX_BTIME | STATX_INO,
              &st) != 0)
        return std::nullopt;

    // A current entry of the table answers without reading the file again.
    auto state = m_tables.snapshot();
    if (const Table* table = coveringTable(*state, path); table && table->rootFolder != kNone) {
        const std::uint32_t entry = table->find(local.toStdString());
        if (entry != kNone) {
            const Entry& e = table->entries[entry];
            if (e.size == std::int64_t(st.stx_size) &&
                e.modified == fileTimeSeconds(st.stx_mtime) && e.inode == st.stx_ino)
                return itemFromEntry(*table, entry);
        }
    }

    const bool isFolder = S_ISDIR(st.stx_mode);
    if (!isFolder && !S_ISREG(st.stx_mode)) return std::nullopt;
    Item item;
    item.path = path;
    item.fsName = path == QStringLiteral("/") ? path : path.section(u'/', -1);
    if (!isFolder) item.fsSize = std::int64_t(st.stx_size);
    item.contentChangeDate = fileTimeSeconds(st.stx_mtime);
    item.creationDate = fileCreationSeconds(st);
    item.contentCreationDate = item.creationDate;
    item.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    item.inode = st.stx_ino;
    item.handle = entryHandleDigest(AT_FDCWD, local.constData(), st);
    item.isDirectory = isFolder;
    const UniformType type = isFolder ? UniformType::folder() : UniformType::forFile(path);
    if (type.isValid()) {
        item.contentType = type.identifier();
        item.uniformType = type;
        item.contentTypeTree = type.tree();
    }
    if (!isFolder) {
        const double accessed = fileTimeSeconds(st.stx_atime);
        if (accessed > *item.contentChangeDate + kUsedAfterWriteSeconds)
            item.lastUsedDate = accessed;
        const auto recent = readRecentlyUsed(m_options.recentlyUsedFile);
        if (auto it = recent.find(path); it != recent.end())
            item.lastUsedDate =
                item.lastUsedDate ? std::max(*item.lastUsedDate, it.value()) : it.value();
        item.whereFroms = readWhereFroms(local);
        if (ContentReader::needsRead(type)) {
            const ContentAttributes c = ContentReader::read(path, type);
            applyContent(item, c);
            item.isScreenCapture = c.isScreenCapture || (type.conforms(UniformType::image()) &&
                                                         isScreenshotFileName(*item.fsName));
        }
    }
    return item;
}

std::vector<content::FileStamp> IndexStore::documentStamps() const
{
    std::vector<content::FileStamp> stamps;
    auto state = m_tables.snapshot();
    const ForgottenEntries forgotten(*state);
    for (std::uint32_t table = 0; table < state->tables.size(); ++table) {
        const auto& t = state->tables[table];
        for (std::uint32_t i = 0; i < t->entries.size(); ++i) {
            const Entry& e = t->entries[i];
            if (e.isFolder() || (e.flags & IsNoise) || forgotten.contains(table, i)) continue;
            const std::string_view name = t->name(e);
            if (content::textFormatForFileName(QString::fromUtf8(
                    name.data(), qsizetype(name.size()))) == content::TextFormat::None)
                continue;
            stamps.push_back({t->path(i), e.size, e.modified});
        }
    }
    return stamps;
}

MetadataIndex::Stats IndexStore::stats() const
{
    MetadataIndex::Stats s;
    auto state = m_tables.snapshot();
    for (const auto& t : state->tables) {
        for (const Entry& e : t->entries)
            (e.isFolder() ? s.folders : s.files)++;
        s.memoryBytes += t->memoryBytes();
    }
    s.contentReads = m_tables.contentReads();
    return s;
}

MetadataIndex::MetadataIndex()
    : MetadataIndex(Options{})
{
}

MetadataIndex::MetadataIndex(Options options)
    : m_store(std::make_unique<IndexStore>(std::move(options)))
{
}

MetadataIndex::~MetadataIndex() = default;

void MetadataIndex::ensureScopes(const QStringList& scopes)
{
    m_store->scopes().ensureScopes(scopes);
}

void MetadataIndex::waitForCache()
{
    m_store->scopes().waitForCache();
}

void MetadataIndex::startReading()
{
    m_store->persistence().startReading();
}

void MetadataIndex::refresh()
{
    m_store->scopes().refresh();
}

void MetadataIndex::forget(const QStringList& paths)
{
    m_store->scopes().forget(paths);
}

void MetadataIndex::stop()
{
    m_store->scopes().stop();
}

void MetadataIndex::shutDown()
{
    m_store->scopes().shutDown();
}

MetadataIndex::ChangeHandlerId MetadataIndex::addChangeHandler(std::function<void()> handler)
{
    return m_store->scopes().addChangeHandler(std::move(handler));
}

void MetadataIndex::removeChangeHandler(ChangeHandlerId id)
{
    m_store->scopes().removeChangeHandler(id);
}

MetadataIndex::Results MetadataIndex::query(const Query& query, const QStringList& scopes,
                                            std::optional<Attr> sortKey, std::size_t maxResults,
                                            const std::function<bool()>& isCancelled, bool ordered)
{
    return m_store->query(query, scopes, sortKey, maxResults, isCancelled, ordered);
}

std::optional<Item> MetadataIndex::itemAtPath(const QString& path)
{
    return m_store->itemAtPath(path);
}

MetadataIndex::Stats MetadataIndex::stats() const
{
    return m_store->stats();
}

int MetadataIndex::threadCount() const
{
    return m_store->threadCount();
}

std::vector<content::FileStamp> MetadataIndex::documentStamps() const
{
    return m_store->documentStamps();
}

} // namespace ovra::md