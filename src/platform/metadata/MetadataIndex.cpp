#include "MetadataIndex.h"

#include "../AtomicSave.h"
#include "../Background.h"
#include "../FileTime.h"
#include "../PathKey.h"
#include "../UniformType.h"
#include "../XdgPaths.h"
#include "../content/ContentIndex.h"
#include "IndexFollower.h"
#include "IndexWalker.h"
#include "NoiseRules.h"
#include "TableFile.h"
#include "TextPattern.h"

#include <QFile>

#include <algorithm>
#include <atomic>
#include <cmath>
#include <condition_variable>
#include <future>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_set>

#include <fcntl.h>
#include <malloc.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ovra::md {
namespace {

constexpr std::size_t kEntriesPerTask = 16384;

struct State {
    std::vector<std::shared_ptr<const Table>> tables;
};

// The files whose words match each kMDItemTextContent pattern of one query,
// looked up once before the query runs, as (table, entry) keys.
using TextMatches = std::unordered_map<const TextPattern*, std::unordered_set<std::uint64_t>>;

std::uint64_t entryKey(std::uint32_t table, std::uint32_t entry)
{
    return (std::uint64_t(table) << 32) | entry;
}

// The pattern as the query wrote it between its quotes, escapes restored.
QString patternText(const TextPattern& pattern)
{
    QStringList pieces;
    for (QString piece : pattern.pieces())
        pieces << piece.replace(u'\\', QStringLiteral("\\\\")).replace(u'*', QStringLiteral("\\*"));
    return pieces.join(u'*');
}

struct Hit {
    double key;
    std::uint32_t table;
    std::uint32_t entry;
};

bool isTextSortKey(Attr attr)
{
    const AttrKind kind = attrKind(attr);
    return kind == AttrKind::Text || kind == AttrKind::TextList;
}

std::string toUtf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

// What a query sees of one table entry. One view per thread: the strings it
// hands out live in its scratch buffers until the next call.
class EntryView final : public ItemAttributes {
public:
    explicit EntryView(const Table& table, std::uint32_t tableIndex = 0,
                       const TextMatches* textMatches = nullptr)
        : m_table(table)
        , m_tableIndex(tableIndex)
        , m_textMatches(textMatches)
    {
    }

    std::optional<bool> textContentMatches(const TextPattern& pattern) const override
    {
        if (!m_textMatches) return std::nullopt;
        const auto it = m_textMatches->find(&pattern);
        return it != m_textMatches->end() && it->second.count(entryKey(m_tableIndex, m_entry));
    }

    void set(std::uint32_t entry)
    {
        m_entry = entry;
        m_e = &m_table.entries[entry];
        m_x = m_table.extra(*m_e);
        m_hasPath = false;
    }

    bool number(Attr attr, double& out) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        switch (attr) {
        case Attr::FSSize: // a folder has no size of its own
            if (m_e->isFolder()) return false;
            out = double(m_e->size);
            return true;
        case Attr::FSContentChangeDate:
        case Attr::ContentModificationDate: out = m_e->modified; return true;
        case Attr::FSCreationDate: out = m_e->created; return true;
        case Attr::ContentCreationDate:
            out = (c && c->contentCreationDate) ? *c->contentCreationDate : m_e->created;
            return true;
        case Attr::LastUsedDate: out = m_table.lastUsed(m_entry); return !std::isnan(out);
        case Attr::IsScreenCapture:
            if (!(m_e->flags & IsScreenCapture)) return false;
            out = 1;
            return true;
        case Attr::PixelWidth: return optionalNumber(c ? c->pixelWidth : std::nullopt, out);
        case Attr::PixelHeight: return optionalNumber(c ? c->pixelHeight : std::nullopt, out);
        case Attr::DurationSeconds:
            return optionalNumber(c ? c->durationSeconds : std::nullopt, out);
        case Attr::NumberOfPages: return optionalNumber(c ? c->numberOfPages : std::nullopt, out);
        default: return false;
        }
    }

    bool text(Attr attr, std::string_view& out) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        switch (attr) {
        case Attr::FSName:
        case Attr::DisplayName: out = m_table.name(*m_e); return true;
        case Attr::Path: out = path(); return true;
        case Attr::ContentType: out = typeStrings().identifier; return true;
        case Attr::Title: return scratch(c ? c->title : std::nullopt, out);
        case Attr::Album: return scratch(c ? c->album : std::nullopt, out);
        case Attr::MusicalGenre: return scratch(c ? c->musicalGenre : std::nullopt, out);
        case Attr::AcquisitionMake: return scratch(c ? c->acquisitionMake : std::nullopt, out);
        case Attr::AcquisitionModel: return scratch(c ? c->acquisitionModel : std::nullopt, out);
        default: return false;
        }
    }

    bool anyText(Attr attr, const std::function<bool(std::string_view)>& visit,
                 bool& present) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        auto visitList = [&](const QStringList& list) {
            present = !list.isEmpty();
            for (const QString& s : list) {
                m_scratch = toUtf8(s);
                if (visit(m_scratch)) return true;
            }
            return false;
        };
        switch (attr) {
        case Attr::ContentTypeTree: {
            const auto& tree = typeStrings().tree;
            present = !tree.empty();
            for (const std::string& id : tree)
                if (visit(id)) return true;
            return false;
        }
        case Attr::WhereFroms: {
            // Kept as UTF-8 with the table: nothing to convert for each file.
            const OriginCache::Origins* origins = m_table.originsOf(m_entry);
            present = origins != nullptr;
            if (origins)
                for (const std::string& address : origins->utf8)
                    if (visit(address)) return true;
            return false;
        }
        case Attr::Authors: return visitList((c && c->authors) ? *c->authors : QStringList());
        case Attr::Codecs: return visitList(c ? c->codecs : QStringList());
        default: {
            std::string_view single;
            present = text(attr, single);
            return present && visit(single);
        }
        }
    }

    UniformType contentType() const override { return UniformType::fromInternId(m_e->type); }

private:
    struct TypeStrings {
        std::string identifier;
        std::vector<std::string> tree;
    };

    template <typename T> static bool optionalNumber(const std::optional<T>& value, double& out)
    {
        if (!value) return false;
        out = double(*value);
        return true;
    }

    bool scratch(const std::optional<QString>& value, std::string_view& out) const
    {
        if (!value) return false;
        m_scratch = toUtf8(*value);
        out = m_scratch;
        return true;
    }

    std::string_view path() const
    {
        if (!m_hasPath) {
            m_path.clear();
            m_table.appendPath(m_entry, m_path);
            m_hasPath = true;
        }
        return m_path;
    }

    const TypeStrings& typeStrings() const
    {
        auto it = m_types.find(m_e->type);
        if (it == m_types.end()) {
            const UniformType type = UniformType::fromInternId(m_e->type);
            TypeStrings strings;
            strings.identifier = toUtf8(type.identifier());
            for (const QString& id : type.tree())
                strings.tree.push_back(toUtf8(id));
            it = m_types.emplace(m_e->type, std::move(strings)).first;
        }
        return it->second;
    }

    const Table& m_table;
    std::uint32_t m_tableIndex = 0;
    const TextMatches* m_textMatches = nullptr;
    std::uint32_t m_entry = 0;
    const Entry* m_e = nullptr;
    const Extra* m_x = nullptr;
    mutable std::string m_path;
    mutable bool m_hasPath = false;
    mutable std::string m_scratch;
    mutable std::unordered_map<std::uint16_t, TypeStrings> m_types;
};

void applyContent(Item& item, const ContentAttributes& c)
{
    item.pixelWidth = c.pixelWidth;
    item.pixelHeight = c.pixelHeight;
    item.durationSeconds = c.durationSeconds;
    item.title = c.title;
    item.authors = c.authors;
    item.album = c.album;
    item.musicalGenre = c.musicalGenre;
    item.codecs = c.codecs;
    item.numberOfPages = c.numberOfPages;
    item.acquisitionMake = c.acquisitionMake;
    item.acquisitionModel = c.acquisitionModel;
    if (c.contentCreationDate) item.contentCreationDate = c.contentCreationDate;
}

Item itemFromEntry(const Table& table, std::uint32_t entry, bool complete = true)
{
    const Entry& e = table.entries[entry];
    Item item;
    item.path = table.path(entry);
    const std::string_view name = table.name(e);
    item.fsName = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (!e.isFolder()) item.fsSize = e.size;
    item.contentChangeDate = e.modified;
    item.creationDate = e.created;
    item.contentCreationDate = e.created;
    const double used = table.lastUsed(entry);
    if (!std::isnan(used)) item.lastUsedDate = used;
    const UniformType type = UniformType::fromInternId(e.type);
    if (type.isValid()) {
        item.uniformType = type;
        // The identifier's text is one string shared by every file of the type:
        // copying it from many threads at once fights over its reference count.
        if (complete) {
            item.contentType = type.identifier();
            item.contentTypeTree = type.tree();
        }
    }
    item.isScreenCapture = e.flags & IsScreenCapture;
    if (complete) item.whereFroms = table.whereFroms(entry);
    item.device = e.device;
    item.inode = e.inode;
    item.isDirectory = e.isFolder();
    if (const Extra* x = table.extra(e)) applyContent(item, x->content);
    return item;
}

// A run of entries [begin, end) of one table.
struct EntryRange {
    std::uint32_t table;
    std::uint32_t begin;
    std::uint32_t end;
};

// The entries below a folder entry, as the runs of each folder's children: a
// query over one folder reads only its own part of the table.
void addRangesBelow(const Table& table, std::uint32_t tableIndex, std::uint32_t folderEntry,
                    std::vector<EntryRange>& ranges)
{
    std::vector<std::uint32_t> pending{table.entries[folderEntry].extra};
    while (!pending.empty()) {
        const std::uint32_t f = pending.back();
        pending.pop_back();
        if (f >= table.folders.size()) continue;
        const Folder& folder = table.folders[f];
        if (folder.childCount == 0) continue;
        ranges.push_back({tableIndex, folder.childBegin, folder.childBegin + folder.childCount});
        for (std::uint32_t i = folder.childBegin; i < folder.childBegin + folder.childCount; ++i)
            if (table.entries[i].isFolder()) pending.push_back(table.entries[i].extra);
    }
}

// Splits the ranges into pieces of about equal size, one per thread (at most
// `threads`), and runs fn(pieces) for each on its own thread.
template <typename Fn>
void parallelForRanges(const std::vector<EntryRange>& ranges, int threads, Fn fn)
{
    std::size_t count = 0;
    for (const EntryRange& r : ranges)
        count += r.end - r.begin;
    const std::size_t tasks = std::max<std::size_t>(
        1, std::min<std::size_t>(std::size_t(std::max(threads, 1)),
                                 (count + kEntriesPerTask - 1) / kEntriesPerTask));
    const std::size_t per = (count + tasks - 1) / tasks;
    std::vector<std::vector<EntryRange>> pieces(tasks);
    std::size_t filled = 0; // entries handed out so far
    for (const EntryRange& r : ranges) {
        for (std::uint32_t at = r.begin; at < r.end;) {
            const std::size_t task = std::min(tasks - 1, filled / std::max<std::size_t>(per, 1));
            const std::size_t room = (task + 1) * per - filled;
            const std::uint32_t end =
                std::uint32_t(std::min<std::size_t>(r.end, at + std::max<std::size_t>(room, 1)));
            pieces[task].push_back({r.table, at, end});
            filled += end - at;
            at = end;
        }
    }
    if (tasks == 1) {
        fn(pieces.front());
        return;
    }
    std::vector<std::thread> pool;
    for (const std::vector<EntryRange>& own : pieces)
        if (!own.empty()) pool.emplace_back([&fn, &own] { fn(own); });
    for (std::thread& th : pool)
        th.join();
}

template <typename Less> void parallelSort(std::vector<Hit>& hits, int threads, Less less)
{
    const std::size_t parts =
        std::min<std::size_t>(std::size_t(std::max(threads, 1)), hits.size() / 32768 + 1);
    if (parts <= 1) {
        std::sort(hits.begin(), hits.end(), less);
        return;
    }
    const std::size_t per = (hits.size() + parts - 1) / parts;
    std::vector<std::thread> pool;
    for (std::size_t p = 0; p < parts; ++p) {
        const std::size_t begin = std::min(hits.size(), p * per),
                          end = std::min(hits.size(), begin + per);
        pool.emplace_back([&, begin, end] {
            std::sort(hits.begin() + long(begin), hits.begin() + long(end), less);
        });
    }
    for (std::thread& th : pool)
        th.join();
    for (std::size_t width = per; width < hits.size(); width *= 2) {
        for (std::size_t begin = 0; begin + width < hits.size(); begin += 2 * width) {
            const std::size_t middle = begin + width,
                              end = std::min(hits.size(), begin + 2 * width);
            std::inplace_merge(hits.begin() + long(begin), hits.begin() + long(middle),
                               hits.begin() + long(end), less);
        }
    }
}

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

} // namespace

class IndexStore {
public:
    explicit IndexStore(MetadataIndex::Options options)
        : m_options(std::move(options))
    {
        keepFreedMemoryReturnable();
        if (m_options.cacheDir.isEmpty()) m_options.cacheDir = xdg::appCacheDir();
        if (m_options.recentlyUsedFile.isEmpty())
            m_options.recentlyUsedFile = xdg::dataHome() + QStringLiteral("/recently-used.xbel");
        m_threads =
            m_options.threads > 0 ? m_options.threads : int(std::thread::hardware_concurrency());
        // Reading the attribute cache takes a while for a large home; it starts
        // now, so it is done by the time the first query walks.
        if (m_options.persistCache)
            m_cacheLoading = std::async(
                std::launch::async, [file = cacheFile()] { return AttributeCache::load(file); });
        // So are the tables saved by the last run, which spare the first query its
        // walk. A save of ours cut short by a kill leaves its temporary beside
        // them, and nothing else would ever remove it.
        if (m_options.persistCache)
            m_savedLoading =
                std::async(std::launch::async, [file = tablesFile(), folder = m_options.cacheDir] {
                    AtomicSave::removeStaleTemporaries(folder);
                    return TableFile::load(file);
                });
        m_state = std::make_shared<State>();
        m_follower = std::make_unique<IndexFollower>(
            [this](const std::unordered_set<std::string>& folders, bool everything) {
                applyChanges(folders, everything);
            },
            [this] { saveTables(); }, m_options.watchLimit);
    }

    ~IndexStore()
    {
        // Its thread works on this store: it ends (saving what is due) first,
        // without finishing a catch-up walk that quitting makes moot.
        m_stopping = true;
        m_follower->shutDown();
        waitForSaves();
    }

    std::shared_ptr<const State> snapshot() const
    {
        std::lock_guard lock(m_stateMutex);
        return m_state;
    }

    static const Table* covering(const State& state, const QString& scope)
    {
        const Table* best = nullptr;
        for (const auto& t : state.tables)
            if (pathIsInside(scope, t->root) && (!best || t->root.size() > best->root.size()))
                best = t.get();
        return best;
    }

    void ensureScopes(const QStringList& scopes)
    {
        QStringList wanted;
        for (const QString& s : scopes) {
            const QString key = pathKey(s);
            if (!key.isEmpty() && !wanted.contains(key)) wanted << key;
        }
        auto missing = [&](const State& state) {
            QStringList out;
            for (const QString& s : wanted)
                if (!covering(state, s)) out << s;
            // A scope inside another missing scope is walked as part of it.
            QStringList outer;
            for (const QString& s : out) {
                bool inside = false;
                for (const QString& o : out)
                    if (o != s && pathIsInside(s, o)) inside = true;
                if (!inside) outer << s;
            }
            return outer;
        };
        if (missing(*snapshot()).isEmpty()) return;

        std::lock_guard build(m_buildMutex);
        if (m_stopping) return;
        const QStringList toWalk = missing(*snapshot());
        if (toWalk.isEmpty()) return;
        loadSavedOnce();
        const auto recent = recentlyUsed();
        std::vector<std::shared_ptr<const Table>> added;
        std::size_t reads = 0;
        QStringList toCatchUp;
        bool walked = false;
        for (const QString& root : toWalk) {
            // A table saved by the last run answers at once; the folders that
            // changed since are read again behind it.
            const auto saved = std::find_if(m_saved.begin(), m_saved.end(),
                                            [&](const auto& t) { return t->root == root; });
            if (saved != m_saved.end()) {
                std::shared_ptr<Table> table = std::move(*saved);
                m_saved.erase(saved);
                applyRecentlyUsed(*table, recent);
                added.push_back(std::move(table));
                toCatchUp << root;
                continue;
            }
            loadCacheOnce();
            WalkOutcome outcome = walkScope(root, nullptr, m_cache, {m_threads, &m_stopping});
            if (m_stopping) return;
            reads += outcome.contentReads;
            if (!outcome.table) outcome.table = emptyTable(root);
            applyRecentlyUsed(*outcome.table, recent);
            added.push_back(std::move(outcome.table));
            walked = true;
        }
        // The last run's other tables answer at once too: a collection over other
        // folders (the applications folders), asked a moment later, then waits for
        // no catch-up, which holds the build while it looks at every folder.
        for (auto it = m_saved.begin(); it != m_saved.end();) {
            const QString& root = (*it)->root;
            const auto overlaps = [&](const auto& t) {
                return pathIsInside(root, t->root) || pathIsInside(t->root, root);
            };
            const auto current = snapshot();
            if (std::any_of(current->tables.begin(), current->tables.end(), overlaps) ||
                std::any_of(added.begin(), added.end(), overlaps)) {
                ++it;
                continue;
            }
            applyRecentlyUsed(**it, recent);
            toCatchUp << root;
            added.push_back(std::move(*it));
            it = m_saved.erase(it);
        }
        auto next = std::make_shared<State>();
        for (const auto& t : snapshot()->tables) {
            bool subsumed = false;
            for (const QString& root : toWalk)
                if (pathIsInside(t->root, root)) subsumed = true;
            if (!subsumed) next->tables.push_back(t);
        }
        for (auto& t : added)
            next->tables.push_back(std::move(t));
        // Every attribute came from the cache: it already holds what the new
        // tables know (records of vanished files go at the next change).
        publish(std::move(next), reads, reads > 0);
        if (walked) m_follower->scheduleSave(std::chrono::milliseconds(0));
        if (!toCatchUp.isEmpty()) m_follower->post([this, toCatchUp] { catchUp(toCatchUp); });
    }

    // Brings loaded tables up to date: every folder is looked at, and those whose
    // modification time moved are listed again.
    void catchUp(const QStringList& roots)
    {
        {
            std::lock_guard build(m_buildMutex);
            if (m_stopping) return;
            const auto recent = recentlyUsed();
            auto next = std::make_shared<State>();
            std::size_t reads = 0, listed = 0;
            for (const auto& old : snapshot()->tables) {
                if (!roots.contains(old->root)) {
                    next->tables.push_back(old);
                    continue;
                }
                static const AttributeMap kNoCache;
                WalkOutcome outcome =
                    walkScope(old->root, old.get(), kNoCache, {m_threads, &m_stopping, nullptr});
                if (m_stopping) return;
                reads += outcome.contentReads;
                listed += outcome.listedFolders;
                if (!outcome.table) outcome.table = emptyTable(old->root);
                // Opening a file while the app was closed moved only its access time.
                refreshAccessTimes(*outcome.table, m_threads);
                applyRecentlyUsed(*outcome.table, recent);
                next->tables.push_back(std::move(outcome.table));
            }
            publish(std::move(next), reads, listed > 0 || reads > 0);
            if (listed > 0 || reads > 0) m_follower->scheduleSave(std::chrono::milliseconds(0));
        }
        notifyChanged();
    }

    // Lists again the folders the watches saw change (every folder of every
    // table when events were lost), into a new snapshot.
    void applyChanges(const std::unordered_set<std::string>& folders, bool everything)
    {
        {
            std::lock_guard build(m_buildMutex);
            if (m_stopping) return;
            auto next = std::make_shared<State>();
            std::size_t reads = 0;
            bool changed = false;
            for (const auto& old : snapshot()->tables) {
                bool touched = everything;
                for (const std::string& f : folders)
                    if (f.compare(0, old->rootUtf8.size(), old->rootUtf8) == 0 &&
                        (f.size() == old->rootUtf8.size() || f[old->rootUtf8.size()] == '/'))
                        touched = true;
                if (!touched) {
                    next->tables.push_back(old);
                    continue;
                }
                static const AttributeMap kNoCache;
                WalkOutcome outcome =
                    walkScope(old->root, old->rootFolder == kNone ? nullptr : old.get(), kNoCache,
                              {m_threads, &m_stopping, everything ? nullptr : &folders});
                if (m_stopping) return;
                reads += outcome.contentReads;
                if (!outcome.table) outcome.table = emptyTable(old->root);
                // The recent list is read again at the next refresh; entries kept
                // their places only where their folders did, so the times are
                // resolved again from the paths they named.
                outcome.table->recentlyUsed = relocateRecentlyUsed(*old, *outcome.table);
                next->tables.push_back(std::move(outcome.table));
                changed = true;
            }
            if (!changed) return;
            // The attribute cache is rebuilt at the next walk or refresh: saving it
            // for every saved file would cost more than the change.
            publish(std::move(next), reads, false);
            m_follower->scheduleSave(kLiveSaveDelay);
        }
        notifyChanged();
    }

    void refresh()
    {
        std::lock_guard build(m_buildMutex);
        if (m_stopping) return;
        const auto recent = recentlyUsed();
        auto next = std::make_shared<State>();
        std::size_t reads = 0, listed = 0;
        for (const auto& old : snapshot()->tables) {
            if (isUnchanged(*old, m_threads)) {
                // Nothing came or went: keep the table as it is, unless the recent
                // list now names other files or times.
                auto resolved = resolveRecentlyUsed(*old, recent);
                if (resolved == old->recentlyUsed) {
                    next->tables.push_back(old);
                } else {
                    auto kept = std::make_shared<Table>(*old);
                    kept->recentlyUsed = std::move(resolved);
                    next->tables.push_back(std::move(kept));
                }
                continue;
            }
            // Files that stayed are carried over from the old table; what is new
            // is read, so the cache on disk is not needed for the walk.
            static const AttributeMap kNoCache;
            WalkOutcome outcome =
                walkScope(old->root, old->rootFolder == kNone ? nullptr : old.get(), kNoCache,
                          {m_threads, &m_stopping});
            if (m_stopping) return;
            reads += outcome.contentReads;
            listed += outcome.listedFolders;
            if (!outcome.table) outcome.table = emptyTable(old->root);
            applyRecentlyUsed(*outcome.table, recent);
            next->tables.push_back(std::move(outcome.table));
        }
        // Nothing listed again means no file came or went: the cache stands.
        publish(std::move(next), reads, listed > 0 || reads > 0);
        if (listed > 0 || reads > 0) m_follower->scheduleSave(std::chrono::milliseconds(0));
    }

    // The folders that held the paths are listed again now, rather than when
    // their watches report: whoever asks next no longer finds the paths.
    void forget(const QStringList& paths)
    {
        std::unordered_set<std::string> folders;
        for (const QString& path : paths) {
            const QString key = pathKey(path);
            const qsizetype slash = key.lastIndexOf(u'/');
            if (slash >= 0)
                folders.insert(toUtf8(slash == 0 ? QStringLiteral("/") : key.left(slash)));
        }
        if (!folders.empty()) applyChanges(folders, false);
    }

    // True when some indexed folder has no watch: a query must refresh first.
    bool needsRefreshBeforeQuery() const { return !m_follower->isComplete(); }

    int addChangeHandler(std::function<void()> handler)
    {
        std::lock_guard lock(m_handlerMutex);
        const int id = ++m_lastHandlerId;
        m_changeHandlers.emplace_back(id, std::move(handler));
        return id;
    }

    void removeChangeHandler(int id)
    {
        std::lock_guard lock(m_handlerMutex);
        std::erase_if(m_changeHandlers, [id](const auto& handler) { return handler.first == id; });
    }

    MetadataIndex::Results query(const Query& query, const QStringList& scopes,
                                 std::optional<Attr> sortKey, std::size_t maxResults,
                                 const std::function<bool()>& isCancelled, bool ordered);
    std::optional<Item> itemAtPath(const QString& path);
    std::vector<content::FileStamp> documentStamps() const;
    MetadataIndex::Stats stats() const;

private:
    // Live changes pile up for a while before the tables are written again.
    static constexpr std::chrono::milliseconds kLiveSaveDelay{30000};

    void notifyChanged()
    {
        std::lock_guard lock(m_handlerMutex);
        for (const auto& [id, handler] : m_changeHandlers)
            handler();
    }

    static std::unordered_map<std::uint32_t, double> relocateRecentlyUsed(const Table& from,
                                                                          const Table& to)
    {
        std::unordered_map<std::uint32_t, double> out;
        std::string path;
        for (const auto& [entry, time] : from.recentlyUsed) {
            path.clear();
            from.appendPath(entry, path);
            const std::uint32_t moved = to.find(path);
            if (moved != kNone) out[moved] = time;
        }
        return out;
    }

    void loadSavedOnce()
    {
        if (m_savedLoaded) return;
        m_savedLoaded = true;

        if (m_savedLoading.valid()) m_saved = m_savedLoading.get();
    }

    // Writing a million-file index takes about a second: it is written on a
    // pool thread, so the follower goes on applying changes meanwhile. One
    // write at a time, and the newest snapshot is written last.
    void saveTables()
    {
        if (!m_options.persistCache) return;
        {
            std::lock_guard lock(m_saveMutex);
            if (m_saveRunning) {
                m_saveAgain = true;
                return;
            }
            m_saveRunning = true;
        }
        background::run(background::Pool::index, [this] {
            for (;;) {
                writeTables();
                std::lock_guard lock(m_saveMutex);
                if (!std::exchange(m_saveAgain, false)) {
                    m_saveRunning = false;
                    m_saveIdle.notify_all();
                    return;
                }
            }
        });
    }

    void waitForSaves()
    {
        std::unique_lock lock(m_saveMutex);
        m_saveIdle.wait(lock, [this] { return !m_saveRunning; });
    }

    void writeTables()
    {
        const auto state = snapshot();
        // Nothing indexed yet (a start that quit before its first query) keeps
        // the last run's file for the next one.
        if (state->tables.empty()) return;
        TableFile::save(tablesFile(), state->tables);
        // The file is made in memory first, about as large as the tables: what
        // it took goes back to the system rather than staying with the process.
        malloc_trim(0);
    }

    QString tablesFile() const
    {
        return m_options.cacheDir + QStringLiteral("/metadata-index.tables");
    }

    static std::shared_ptr<Table> emptyTable(const QString& root)
    {
        auto t = std::make_shared<Table>();
        t->root = root;
        t->rootUtf8 = toUtf8(root);
        return t;
    }

    std::unordered_map<std::string, double> recentlyUsed() const
    {
        std::unordered_map<std::string, double> out;
        const QHash<QString, double> list = readRecentlyUsed(m_options.recentlyUsedFile);
        for (auto it = list.begin(); it != list.end(); ++it)
            out.emplace(toUtf8(pathKey(it.key())), it.value());
        return out;
    }

public:
    // Waits for the attribute cache read that construction started.
    void loadCacheOnce()
    {
        if (m_cacheLoaded) return;
        m_cacheLoaded = true;
        if (m_cacheLoading.valid())
            m_cache = m_cacheLoading.get();
        else if (m_options.persistCache)
            m_cache = AttributeCache::load(cacheFile());
    }

private:
    QString cacheFile() const
    {
        return m_options.cacheDir + QStringLiteral("/metadata-attributes.cache");
    }

    void publish(std::shared_ptr<State> next, std::size_t reads, bool filesChanged)
    {
        {
            std::lock_guard lock(m_stateMutex);
            m_state = next;
            m_contentReads += reads;
        }
        m_follower->follow(next->tables);
        if (filesChanged) {
            loadCacheOnce();
            rebuildCache(*next, reads > 0);
        }
        releaseCache();
    }

    // The cache in memory is about as large as the tables it serves: it is kept
    // only while a walk needs it, and read again from disk for the next one.
    void releaseCache()
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

    // The cache keeps what the tables read, plus records of files outside every
    // indexed scope (another scope may still want them). Records of files that
    // vanished from an indexed scope are dropped.
    void rebuildCache(const State& state, bool readSomething)
    {
        AttributeMap next;
        for (auto& [path, record] : m_cache) {
            bool indexed = false;
            const QString p = QString::fromStdString(path);
            for (const auto& t : state.tables)
                if (pathIsInside(p, t->root)) indexed = true;
            if (!indexed) next.emplace(path, std::move(record));
        }
        std::string path;
        for (const auto& t : state.tables) {
            for (std::uint32_t i = 0; i < t->entries.size(); ++i) {
                const Entry& e = t->entries[i];
                const Extra* x = t->extra(e);
                const bool sniffed = e.flags & TypeFromContent;
                // A file whose read found nothing keeps no extra, but its
                // record still spares the next walk the read; one no helper
                // could read is left for the next walk.
                const bool hasContent = !e.isFolder() && !(x && x->isContentUnread) &&
                                        ContentReader::needsRead(UniformType::fromInternId(e.type));
                const bool hasReadAccess = x && x->readAccess.isRecorded();
                if (!sniffed && !hasContent && !hasReadAccess) continue;
                path.clear();
                t->appendPath(i, path);
                CachedAttributes r;
                r.size = e.size;
                r.modified = e.modified;
                if (sniffed) r.typeFromContent = UniformType::fromInternId(e.type).identifier();
                r.hasContent = hasContent;
                if (hasContent && x) r.content = x->content;
                if (hasReadAccess) r.readAccess = x->readAccess;
                next.emplace(path, std::move(r));
            }
        }
        const bool changed = readSomething || next.size() != m_cache.size();
        m_cache = std::move(next);
        if (changed && m_options.persistCache) AttributeCache::save(cacheFile(), m_cache);
    }

    MetadataIndex::Options m_options;
    int m_threads = 1;
    mutable std::mutex m_stateMutex;
    std::shared_ptr<const State> m_state;
    std::size_t m_contentReads = 0;
    std::mutex m_buildMutex; // one walk or refresh at a time; guards the cache

    std::atomic_bool m_stopping = false;

public:
    std::mutex& buildMutex() { return m_buildMutex; }
    int threadCount() const { return m_threads; }
    void stop() { m_stopping = true; }

private:
    AttributeMap m_cache;
    bool m_cacheLoaded = false;
    std::future<AttributeMap> m_cacheLoading;
    std::vector<std::shared_ptr<Table>> m_saved; // loaded, not yet taken by a scope
    bool m_savedLoaded = false;
    std::future<std::vector<std::shared_ptr<Table>>> m_savedLoading;
    std::mutex m_handlerMutex;
    std::vector<std::pair<int, std::function<void()>>> m_changeHandlers;
    int m_lastHandlerId = 0;
    std::mutex m_saveMutex;
    std::condition_variable m_saveIdle;
    bool m_saveRunning = false;
    bool m_saveAgain = false;
    // Last: its thread calls into everything above.
    std::unique_ptr<IndexFollower> m_follower;
};

struct MetadataIndex::Results::Data {
    std::shared_ptr<const State> state;
    std::vector<Hit> hits;
};

MetadataIndex::Results::Results() = default;
MetadataIndex::Results::~Results() = default;
MetadataIndex::Results::Results(Results&&) noexcept = default;
MetadataIndex::Results& MetadataIndex::Results::operator=(Results&&) noexcept = default;

std::size_t MetadataIndex::Results::count() const
{
    return m_data ? m_data->hits.size() : 0;
}

QString MetadataIndex::Results::path(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->path(h.entry);
}

std::int64_t MetadataIndex::Results::fileSize(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    const Entry& e = m_data->state->tables[h.table]->entries[h.entry];
    return e.isFolder() ? 0 : e.size;
}

bool MetadataIndex::Results::isNoise(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->entries[h.entry].flags & IsNoise;
}

UniformType MetadataIndex::Results::contentType(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return UniformType::fromInternId(m_data->state->tables[h.table]->entries[h.entry].type);
}

std::vector<std::size_t> MetadataIndex::Results::firstInOrder(std::vector<std::size_t> indices,
                                                              std::size_t count) const
{
    count = std::min(count, indices.size());
    if (!m_data) return {};
    const std::vector<Hit>& hits = m_data->hits;
    // Ordered results are in order by position; otherwise by key, ties by place
    // in the table, exactly as a full sort would have put them.
    auto less = [&](std::size_t a, std::size_t b) {
        if (m_ordered) return a < b;
        const Hit& x = hits[a];
        const Hit& y = hits[b];
        if (x.key != y.key) return x.key > y.key;
        return x.table != y.table ? x.table < y.table : x.entry < y.entry;
    };
    std::partial_sort(indices.begin(), indices.begin() + long(count), indices.end(), less);
    indices.resize(count);
    return indices;
}

QStringList MetadataIndex::Results::whereFroms(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->whereFroms(h.entry);
}

Item MetadataIndex::Results::item(std::size_t i, bool complete) const
{
    const Hit& h = m_data->hits[i];
    return itemFromEntry(*m_data->state->tables[h.table], h.entry, complete);
}

MetadataIndex::Results IndexStore::query(const Query& query, const QStringList& scopes,
                                         std::optional<Attr> sortKey, std::size_t maxResults,
                                         const std::function<bool()>& isCancelled, bool ordered)
{
    MetadataIndex::Results results;
    if (!query.isValid()) return results;
    ensureScopes(scopes);
    if (needsRefreshBeforeQuery()) refresh();
    auto state = snapshot();

    // Each scope becomes (table, folder entry or the whole table); a scope inside
    // another one asked for in the same query is not searched twice.
    struct Target {
        std::uint32_t table;
        std::uint32_t folder; // kNone: the whole table
        QString scope;
    };
    std::vector<Target> targets;
    QStringList keys;
    for (const QString& s : scopes) {
        const QString k = pathKey(s);
        if (!k.isEmpty() && !keys.contains(k)) keys << k;
    }
    for (const QString& k : keys) {
        bool inner = false;
        for (const QString& o : keys)
            if (o != k && pathIsInside(k, o)) inner = true;
        if (inner) continue;
        for (std::uint32_t t = 0; t < state->tables.size(); ++t) {
            const Table& table = *state->tables[t];
            if (table.rootFolder == kNone || !pathIsInside(k, table.root)) continue;
            if (k == table.root) {
                targets.push_back({t, kNone, k});
            } else {
                const std::uint32_t folder = table.find(toUtf8(k));
                if (folder != kNone && table.entries[folder].isFolder())
                    targets.push_back({t, folder, k});
            }
            break;
        }
    }

    TextMatches textMatches;
    const bool readsWords =
        query.referencedAttributes() & (std::uint64_t(1) << unsigned(Attr::TextContent));
    if (readsWords && m_options.contentIndex) {
        query.forEachTextContentPattern([&](const TextPattern& pattern) {
            auto& keys = textMatches[&pattern];
            const std::uint8_t o = pattern.options();
            const QSet<QString> paths = m_options.contentIndex->matchingPaths(
                patternText(pattern), o & TextPattern::CaseInsensitive,
                o & TextPattern::DiacriticInsensitive, o & TextPattern::WordBased);
            for (const QString& path : paths) {
                const std::string utf8 = toUtf8(path);
                for (std::uint32_t t = 0; t < state->tables.size(); ++t) {
                    const std::uint32_t entry = state->tables[t]->find(utf8);
                    if (entry != kNone) keys.insert(entryKey(t, entry));
                }
            }
        });
    }
    const TextMatches* words = (readsWords && m_options.contentIndex) ? &textMatches : nullptr;

    const bool textKey = sortKey && isTextSortKey(*sortKey);
    std::vector<std::vector<Hit>> perTask;
    std::mutex perTaskMutex;
    // Every scope's part of every table in one pass: the threads are shared
    // out once, not once per scope.
    std::vector<EntryRange> ranges;
    for (const Target& target : targets) {
        const Table& table = *state->tables[target.table];
        if (target.folder == kNone)
            ranges.push_back({target.table, 0, std::uint32_t(table.entries.size())});
        else
            addRangesBelow(table, target.table, target.folder, ranges);
    }
    parallelForRanges(ranges, m_threads, [&](const std::vector<EntryRange>& pieces) {
        std::vector<std::unique_ptr<EntryView>> views(state->tables.size());
        // Room for every entry of its pieces at once: the list never moves as it
        // grows (a query over everything keeps a million hits).
        std::vector<Hit> hits;
        std::size_t room = 0;
        for (const EntryRange& piece : pieces)
            room += piece.end - piece.begin;
        hits.reserve(room);
        std::size_t seen = 0;
        for (const EntryRange& piece : pieces) {
            std::unique_ptr<EntryView>& view = views[piece.table];
            if (!view)
                view = std::make_unique<EntryView>(*state->tables[piece.table], piece.table, words);
            for (std::uint32_t i = piece.begin; i < piece.end; ++i) {
                if ((++seen & 4095) == 0 && isCancelled && isCancelled()) return;
                view->set(i);
                if (!query.matches(*view)) continue;
                double key = -std::numeric_limits<double>::infinity();
                if (sortKey && !textKey) {
                    double v;
                    if (view->number(*sortKey, v) && !std::isnan(v)) key = v;
                }
                hits.push_back({key, piece.table, i});
            }
        }
        std::lock_guard lock(perTaskMutex);
        perTask.push_back(std::move(hits));
    });
    if (isCancelled && isCancelled()) return results;

    auto data = std::make_unique<MetadataIndex::Results::Data>();
    std::size_t total = 0;
    for (const auto& v : perTask)
        total += v.size();
    // The longest list becomes the answer's, the others join it.
    std::sort(perTask.begin(), perTask.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    if (!perTask.empty()) data->hits = std::move(perTask.front());
    data->hits.reserve(total);
    for (std::size_t t = 1; t < perTask.size(); ++t)
        data->hits.insert(data->hits.end(), perTask[t].begin(), perTask[t].end());
    data->state = state;

    // Ties (and every file when there is no sort key) keep the table's order, so
    // the same query over the same table always answers in the same order.
    auto tieBreak = [](const Hit& a, const Hit& b) {
        return a.table != b.table ? a.table < b.table : a.entry < b.entry;
    };
    std::function<bool(const Hit&, const Hit&)> less;
    if (textKey) {
        // Texts descending, files without the attribute last.
        less = [&state, attr = *sortKey, tieBreak](const Hit& a, const Hit& b) {
            thread_local std::string sa, sb;
            auto read = [&](const Hit& h, std::string& out) {
                const Table& t = *state->tables[h.table];
                if (attr == Attr::FSName || attr == Attr::DisplayName) {
                    out.assign(t.name(h.entry));
                    return true;
                }
                EntryView view(t);
                view.set(h.entry);
                std::string_view v;
                if (!view.text(attr, v)) return false;
                out.assign(v);
                return true;
            };
            const bool ha = read(a, sa), hb = read(b, sb);
            if (ha != hb) return ha;
            if (!ha) return tieBreak(a, b);
            const int c = QString::compare(QString::fromUtf8(sa.data(), qsizetype(sa.size())),
                                           QString::fromUtf8(sb.data(), qsizetype(sb.size())),
                                           Qt::CaseInsensitive);
            return c != 0 ? c > 0 : tieBreak(a, b);
        };
    }
    // Numbers compare inline: the cut of a million matches makes millions of
    // comparisons.
    const auto numberLess = [tieBreak](const Hit& a, const Hit& b) {
        return a.key != b.key ? a.key > b.key : tieBreak(a, b);
    };
    // Numbers order cheaply later, for just the results a caller lists; texts
    // are ordered here.
    results.m_ordered = ordered || textKey;
    const auto cutAndOrder = [&](const auto& less) {
        if (data->hits.size() > maxResults) {
            std::nth_element(data->hits.begin(), data->hits.begin() + long(maxResults),
                             data->hits.end(), less);
            data->hits.resize(maxResults);
        }
        if (results.m_ordered) parallelSort(data->hits, m_threads, less);
    };
    if (textKey)
        cutAndOrder(less);
    else
        cutAndOrder(numberLess);
    results.m_totalMatches = total;
    results.m_data = std::move(data);
    return results;
}

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
    auto state = snapshot();
    if (const Table* table = covering(*state, path); table && table->rootFolder != kNone) {
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
    item.creationDate =
        (st.stx_mask & STATX_BTIME) ? fileTimeSeconds(st.stx_btime) : fileTimeSeconds(st.stx_ctime);
    item.contentCreationDate = item.creationDate;
    item.device = makedev(st.stx_dev_major, st.stx_dev_minor);
    item.inode = st.stx_ino;
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
    auto state = snapshot();
    for (const auto& t : state->tables) {
        for (std::uint32_t i = 0; i < t->entries.size(); ++i) {
            const Entry& e = t->entries[i];
            if (e.isFolder() || (e.flags & IsNoise)) continue;
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
    auto state = snapshot();
    for (const auto& t : state->tables) {
        for (const Entry& e : t->entries)
            (e.isFolder() ? s.folders : s.files)++;
        s.memoryBytes += t->memoryBytes();
    }
    std::lock_guard lock(m_stateMutex);
    s.contentReads = m_contentReads;
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
    m_store->ensureScopes(scopes);
}

void MetadataIndex::waitForCache()
{
    std::lock_guard build(m_store->buildMutex());
    m_store->loadCacheOnce();
}
void MetadataIndex::refresh()
{
    m_store->refresh();
}

void MetadataIndex::forget(const QStringList& paths)
{
    m_store->forget(paths);
}

void MetadataIndex::stop()
{
    m_store->stop();
}

MetadataIndex::ChangeHandlerId MetadataIndex::addChangeHandler(std::function<void()> handler)
{
    return m_store->addChangeHandler(std::move(handler));
}

void MetadataIndex::removeChangeHandler(ChangeHandlerId id)
{
    m_store->removeChangeHandler(id);
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
