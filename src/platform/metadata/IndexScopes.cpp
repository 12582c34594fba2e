#include "IndexScopes.h"

#include "../Background.h"
#include "../PathKey.h"
#include "IndexFollower.h"
#include "IndexWalker.h"

#include <QScopeGuard>

#include <algorithm>

namespace ovra::md {
namespace {

std::shared_ptr<Table> emptyTable(const QString& root)
{
    auto t = std::make_shared<Table>();
    t->root = root;
    t->rootUtf8 = toUtf8(root);
    return t;
}

std::unordered_map<std::uint32_t, double> relocateRecentlyUsed(const Table& from, const Table& to)
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

bool holdsAnyOf(const Table& table, const std::unordered_set<std::string>& folders)
{
    for (const std::string& f : folders)
        if (f.compare(0, table.rootUtf8.size(), table.rootUtf8) == 0 &&
            (f.size() == table.rootUtf8.size() || f[table.rootUtf8.size()] == '/'))
            return true;
    return false;
}

// Walks with no attribute cache: files that stayed are carried over from the
// previous table, and only what is new is read.
const AttributeMap kNoCache;

} // namespace

IndexScopes::IndexScopes(CurrentTables& current, IndexPersistence& persistence,
                         QString recentlyUsedFile, int threads, std::size_t watchLimit,
                         std::function<void()> beforeCatchUp, std::function<void()> afterFirstWalk)
    : m_current(current)
    , m_persistence(persistence)
    , m_recentlyUsedFile(std::move(recentlyUsedFile))
    , m_threads(threads)
    , m_beforeCatchUp(std::move(beforeCatchUp))
    , m_afterFirstWalk(std::move(afterFirstWalk))
{
    m_follower = std::make_unique<IndexFollower>(
        [this](const std::unordered_set<std::string>& folders, bool everything) {
            applyChanges(folders, everything);
        },
        [this] { m_persistence.saveTables(); }, watchLimit);
}

IndexScopes::~IndexScopes()
{
    shutDown();
}

void IndexScopes::shutDown()
{
    // Its thread works on these tables: it ends (saving what is due) first,
    // without finishing a catch-up walk that quitting makes moot.
    m_stopping = true;
    m_follower->shutDown();
    waitForCatchUps();
    m_persistence.waitForSaves();
}

QStringList IndexScopes::missingScopes(const QStringList& wanted) const
{
    const auto set = m_current.snapshot();
    QStringList out;
    for (const QString& s : wanted)
        if (!coveringTable(*set, s)) out << s;
    // A scope inside another missing scope is walked as part of it.
    QStringList outer;
    for (const QString& s : out) {
        bool inside = false;
        for (const QString& o : out)
            if (o != s && pathIsInside(s, o)) inside = true;
        if (!inside) outer << s;
    }
    return outer;
}

void IndexScopes::ensureScopes(const QStringList& scopes)
{
    QStringList wanted;
    for (const QString& s : scopes) {
        const QString key = pathKey(s);
        if (!key.isEmpty() && !wanted.contains(key)) wanted << key;
    }
    if (missingScopes(wanted).isEmpty()) return;

    std::lock_guard build(m_buildMutex);
    if (m_stopping) return;
    const QStringList toWalk = missingScopes(wanted);
    if (toWalk.isEmpty()) return;
    // A file moved out of these scopes while they are walked stays forgotten
    // in the tables the walk publishes: it may have been listed before it went.
    const std::uint64_t listedSince = m_current.forgottenCount();
    m_current.setWalking(toWalk);
    const auto walkEnded = qScopeGuard([this] { m_current.setWalking({}); });
    const auto recent = recentlyUsed();
    std::vector<std::shared_ptr<const Table>> added;
    std::size_t reads = 0;
    QStringList toCatchUp;
    bool walked = false;
    if (!tablesFor(toWalk, recent, listedSince, added, toCatchUp, reads, walked)) return;
    if (walked && m_afterFirstWalk) m_afterFirstWalk();
    takeOtherSavedTables(recent, added, toCatchUp);
    auto next = std::make_shared<TableSet>();
    for (const auto& t : m_current.snapshot()->tables) {
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
    if (!toCatchUp.isEmpty()) m_follower->post([this, toCatchUp] { startCatchUp(toCatchUp); });
}

bool IndexScopes::tablesFor(const QStringList& roots, const RecentlyUsed& recent,
                            std::uint64_t listedSince,
                            std::vector<std::shared_ptr<const Table>>& added,
                            QStringList& toCatchUp, std::size_t& reads, bool& walked)
{
    for (const QString& root : roots) {
        // A table saved by the last run answers at once; the folders that
        // changed since are read again behind it.
        if (std::shared_ptr<Table> saved =
                m_persistence.takeSaved([&](const Table& t) { return t.root == root; })) {
            applyRecentlyUsed(*saved, recent);
            added.push_back(std::move(saved));
            toCatchUp << root;
            continue;
        }
        m_persistence.loadCacheOnce();
        WalkOutcome outcome =
            walkScope(root, nullptr, m_persistence.cache(), {m_threads, &m_stopping});
        if (m_stopping) return false;
        reads += outcome.contentReads;
        if (!outcome.table) outcome.table = emptyTable(root);
        outcome.table->listedSince = listedSince;
        applyRecentlyUsed(*outcome.table, recent);
        added.push_back(std::move(outcome.table));
        walked = true;
    }
    return true;
}

// The last run's other tables answer at once too: a collection over other
// folders (the applications folders), asked a moment later, then waits for no
// catch-up, which holds the build while it looks at every folder.
void IndexScopes::takeOtherSavedTables(const RecentlyUsed& recent,
                                       std::vector<std::shared_ptr<const Table>>& added,
                                       QStringList& toCatchUp)
{
    const auto current = m_current.snapshot();
    const auto isFree = [&](const Table& saved) {
        const auto overlaps = [&](const auto& t) {
            return pathIsInside(saved.root, t->root) || pathIsInside(t->root, saved.root);
        };
        return std::none_of(current->tables.begin(), current->tables.end(), overlaps) &&
               std::none_of(added.begin(), added.end(), overlaps);
    };
    while (std::shared_ptr<Table> saved = m_persistence.takeSaved(isFree)) {
        applyRecentlyUsed(*saved, recent);
        toCatchUp << saved->root;
        added.push_back(std::move(saved));
    }
}

// Brings loaded tables up to date: every folder is looked at, and those whose
// modification time moved are listed again. On a large home on a busy machine
// that takes many seconds, so it runs on a pool thread without holding the
// build: the follower goes on applying live changes to the loaded tables
// meanwhile, and what it applied is listed again over the caught-up tables
// before they replace them. Posted to the follower, so the folders' watches are
// set before the walk lists them.
void IndexScopes::startCatchUp(const QStringList& roots)
{
    {
        std::lock_guard lock(m_catchUpMutex);
        if (m_stopping) return;
        ++m_catchUpsRunning;
    }
    background::run(background::Pool::index, [this, roots] {
        catchUp(roots);
        std::lock_guard lock(m_catchUpMutex);
        --m_catchUpsRunning;
        m_catchUpIdle.notify_all();
    });
}

void IndexScopes::waitForCatchUps()
{
    std::unique_lock lock(m_catchUpMutex);
    m_catchUpIdle.wait(lock, [this] { return m_catchUpsRunning == 0; });
}

void IndexScopes::catchUp(const QStringList& roots)
{
    std::lock_guard one(m_catchUpRunMutex);
    std::vector<std::shared_ptr<const Table>> loaded;
    std::uint64_t listedSince = 0;
    {
        std::lock_guard build(m_buildMutex);
        if (m_stopping) return;
        listedSince = m_current.forgottenCount();
        m_appliedDuringCatchUp = AppliedChanges{true, false, {}};
        for (const auto& t : m_current.snapshot()->tables)
            if (roots.contains(t->root)) loaded.push_back(t);
    }
    if (m_beforeCatchUp) m_beforeCatchUp();
    std::size_t reads = 0, listed = 0;
    const std::vector<std::shared_ptr<Table>> caught = caughtUp(loaded, listedSince, reads, listed);
    if (m_stopping) return;
    foldIn(loaded, caught, reads, listed);
}

std::vector<std::shared_ptr<Table>>
IndexScopes::caughtUp(const std::vector<std::shared_ptr<const Table>>& loaded,
                      std::uint64_t listedSince, std::size_t& reads, std::size_t& listed)
{
    const auto recent = recentlyUsed();
    std::vector<std::shared_ptr<Table>> caught;
    for (const auto& old : loaded) {
        WalkOutcome outcome =
            walkScope(old->root, old.get(), kNoCache, {m_threads, &m_stopping, nullptr});
        if (m_stopping) return {};
        reads += outcome.contentReads;
        listed += outcome.listedFolders;
        if (!outcome.table) outcome.table = emptyTable(old->root);
        outcome.table->listedSince = listedSince;
        // Opening a file while the app was closed moved only its access time.
        refreshAccessTimes(*outcome.table, m_threads);
        applyRecentlyUsed(*outcome.table, recent);
        caught.push_back(std::move(outcome.table));
    }
    return caught;
}

// A loaded table nothing touched meanwhile gives way to its caught-up one; one
// the follower changed gives way to its caught-up one with those changes listed
// again.
void IndexScopes::foldIn(const std::vector<std::shared_ptr<const Table>>& loaded,
                         const std::vector<std::shared_ptr<Table>>& caught, std::size_t reads,
                         std::size_t listed)
{
    {
        std::lock_guard build(m_buildMutex);
        const AppliedChanges applied = std::exchange(m_appliedDuringCatchUp, {});
        if (m_stopping) return;
        auto next = std::make_shared<TableSet>();
        for (const auto& current : m_current.snapshot()->tables) {
            const bool untouched = std::find(loaded.begin(), loaded.end(), current) != loaded.end();
            const auto mine = std::find_if(caught.begin(), caught.end(),
                                           [&](const auto& t) { return t->root == current->root; });
            if (mine == caught.end() || (!untouched && !applied.any()))
                next->tables.push_back(current);
            else if (untouched)
                next->tables.push_back(*mine);
            else
                next->tables.push_back(reapply(**mine, applied));
            if (m_stopping) return;
        }
        publish(std::move(next), reads, listed > 0 || reads > 0);
        if (listed > 0 || reads > 0) m_follower->scheduleSave(std::chrono::milliseconds(0));
    }
    notifyChanged();
}

std::shared_ptr<const Table> IndexScopes::reapply(const Table& caught,
                                                  const AppliedChanges& applied)
{
    WalkOutcome outcome =
        walkScope(caught.root, &caught, kNoCache,
                  {m_threads, &m_stopping, applied.everything ? nullptr : &applied.folders});
    if (!outcome.table) outcome.table = emptyTable(caught.root);
    // Only the folders changed meanwhile were listed again.
    outcome.table->listedSince = caught.listedSince;
    outcome.table->recentlyUsed = relocateRecentlyUsed(caught, *outcome.table);
    return outcome.table;
}

void IndexScopes::AppliedChanges::note(const std::unordered_set<std::string>& changed, bool all)
{
    if (!isCatchingUp) return;
    everything = everything || all;
    if (!everything) folders.insert(changed.begin(), changed.end());
}

// Lists again the folders the watches saw change (every folder of every table
// when events were lost), into a new snapshot.
void IndexScopes::applyChanges(const std::unordered_set<std::string>& folders, bool everything)
{
    {
        std::lock_guard build(m_buildMutex);
        if (m_stopping) return;
        const std::uint64_t listedSince = m_current.forgottenCount();
        auto next = std::make_shared<TableSet>();
        std::size_t reads = 0;
        bool changed = false;
        for (const auto& old : m_current.snapshot()->tables) {
            if (!everything && !holdsAnyOf(*old, folders)) {
                next->tables.push_back(old);
                continue;
            }
            WalkOutcome outcome =
                walkScope(old->root, old->rootFolder == kNone ? nullptr : old.get(), kNoCache,
                          {m_threads, &m_stopping, everything ? nullptr : &folders});
            if (m_stopping) return;
            reads += outcome.contentReads;
            if (!outcome.table) outcome.table = emptyTable(old->root);
            // Every folder was looked at only when events were lost.
            outcome.table->listedSince = everything ? listedSince : old->listedSince;
            // The recent list is read again at the next refresh; entries kept
            // their places only where their folders did, so the times are
            // resolved again from the paths they named.
            outcome.table->recentlyUsed = relocateRecentlyUsed(*old, *outcome.table);
            next->tables.push_back(std::move(outcome.table));
            changed = true;
        }
        if (!changed) return;
        m_appliedDuringCatchUp.note(folders, everything);
        // The attribute cache is rebuilt at the next walk or refresh: saving it
        // for every saved file would cost more than the change.
        publish(std::move(next), reads, false,
                {everything, everything ? nullptr : &folders, listedSince});
        m_follower->scheduleSave(kLiveSaveDelay);
    }
    notifyChanged();
}

void IndexScopes::refresh()
{
    std::lock_guard build(m_buildMutex);
    if (m_stopping) return;
    const std::uint64_t listedSince = m_current.forgottenCount();
    const auto recent = recentlyUsed();
    auto next = std::make_shared<TableSet>();
    std::size_t reads = 0, listed = 0;
    for (const auto& old : m_current.snapshot()->tables) {
        if (isUnchanged(*old, m_threads)) {
            // Nothing came or went: keep the table as it is, unless the recent
            // list now names other files or times.
            auto resolved = resolveRecentlyUsed(*old, recent);
            if (resolved == old->recentlyUsed) {
                next->tables.push_back(old);
            } else {
                auto kept = std::make_shared<Table>(*old);
                kept->listedSince = listedSince;
                kept->recentlyUsed = std::move(resolved);
                next->tables.push_back(std::move(kept));
            }
            continue;
        }
        // Files that stayed are carried over from the old table; what is new
        // is read, so the cache on disk is not needed for the walk.
        WalkOutcome outcome = walkScope(old->root, old->rootFolder == kNone ? nullptr : old.get(),
                                        kNoCache, {m_threads, &m_stopping});
        if (m_stopping) return;
        reads += outcome.contentReads;
        listed += outcome.listedFolders;
        if (!outcome.table) outcome.table = emptyTable(old->root);
        outcome.table->listedSince = listedSince;
        applyRecentlyUsed(*outcome.table, recent);
        next->tables.push_back(std::move(outcome.table));
    }
    if (listed > 0) m_appliedDuringCatchUp.note({}, true);
    // Nothing listed again means no file came or went: the cache stands.
    publish(std::move(next), reads, listed > 0 || reads > 0);
    if (listed > 0 || reads > 0) m_follower->scheduleSave(std::chrono::milliseconds(0));
}

// Queries skip the paths at once, whatever walk is under way; the folders that
// held them are listed again on the follower's thread, behind that walk, so
// the mover never waits for it.
void IndexScopes::forget(const QStringList& paths)
{
    m_current.forget(paths);
    std::unordered_set<std::string> folders;
    for (const QString& path : paths) {
        const QString key = pathKey(path);
        const qsizetype slash = key.lastIndexOf(u'/');
        if (slash >= 0) folders.insert(toUtf8(slash == 0 ? QStringLiteral("/") : key.left(slash)));
    }
    if (!folders.empty())
        m_follower->post([this, folders = std::move(folders)] { applyChanges(folders, false); });
}

bool IndexScopes::needsRefreshBeforeQuery() const
{
    return !m_follower->isComplete();
}

void IndexScopes::waitForCache()
{
    std::lock_guard build(m_buildMutex);
    m_persistence.loadCacheOnce();
}

int IndexScopes::addChangeHandler(std::function<void()> handler)
{
    std::lock_guard lock(m_handlerMutex);
    const int id = ++m_lastHandlerId;
    m_changeHandlers.emplace_back(id, std::move(handler));
    return id;
}

void IndexScopes::removeChangeHandler(int id)
{
    std::lock_guard lock(m_handlerMutex);
    std::erase_if(m_changeHandlers, [id](const auto& handler) { return handler.first == id; });
}

void IndexScopes::notifyChanged()
{
    std::lock_guard lock(m_handlerMutex);
    for (const auto& [id, handler] : m_changeHandlers)
        handler();
}

void IndexScopes::publish(std::shared_ptr<TableSet> next, std::size_t reads, bool filesChanged,
                          const Relisted& relisted)
{
    m_current.publish(next, reads, relisted);
    m_follower->follow(next->tables);
    m_persistence.tablesChanged(*next, reads, filesChanged);
}

IndexScopes::RecentlyUsed IndexScopes::recentlyUsed() const
{
    RecentlyUsed out;
    const QHash<QString, double> list = readRecentlyUsed(m_recentlyUsedFile);
    for (auto it = list.begin(); it != list.end(); ++it)
        out.emplace(toUtf8(pathKey(it.key())), it.value());
    return out;
}

} // namespace ovra::md
