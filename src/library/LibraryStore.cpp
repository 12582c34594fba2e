#include "LibraryStore.h"

#include "Location.h"
#include "NaturalSearch.h"
#include "SearchText.h"
#include "platform/Background.h"
#include "platform/PathKey.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/MetadataIndex.h"

#include <QDir>
#include <QFileInfo>
#include <QPointer>

#include <algorithm>
#include <cerrno>
#include <cstdio>
#include <vector>

#include <dirent.h>

namespace ovra {
namespace {

// Long enough to take a burst of changes in one reload, short enough to feel live.
constexpr int kReloadDelayMs = 250;

constexpr qsizetype kCollectionLimit = 3000;
constexpr qsizetype kSearchLimit = 2000;

bool notFolder(FileCategory category)
{
    return category != FileCategory::folders;
}

FolderError folderErrorFrom(int error)
{
    switch (error) {
    case EACCES:
    case EPERM: return FolderError::noPermission;
    case ENOENT: return FolderError::notFound;
    case ENOTDIR: return FolderError::notAFolder;
    default: return FolderError::other;
    }
}

// Each entry costs a stat and a look at its type, so a large folder's entries
// are read in chunks by the listing's thread and the files pool together.
constexpr qsizetype kEntriesPerChunk = 512;

FolderListing listFolderNow(const QString& folder)
{
    FolderListing listing;
    const QString base = pathKey(folder);
    const QByteArray local = QFile::encodeName(base);
    DIR* dir = ::opendir(local.constData());
    if (!dir) {
        listing.error = folderErrorFrom(errno);
        return listing;
    }
    QStringList paths;
    while (const dirent* d = ::readdir(dir)) {
        const QByteArray name(d->d_name);
        if (name.startsWith('.')) continue;
        const QString decoded = QFile::decodeName(name);
        // A name that does not survive decoding would name another file.
        if (QFile::encodeName(decoded) != name) continue;
        paths.append(base + u'/' + decoded);
    }
    ::closedir(dir);

    // Chunks keep the file system's order when they are put back together.
    const qsizetype chunkCount = (paths.size() + kEntriesPerChunk - 1) / kEntriesPerChunk;
    std::vector<QList<FileItem>> chunks(static_cast<size_t>(chunkCount));
    background::forEach(background::Pool::files, chunkCount, [&](qsizetype chunk) {
        const qsizetype end = std::min(paths.size(), (chunk + 1) * kEntriesPerChunk);
        QList<FileItem>& items = chunks[size_t(chunk)];
        for (qsizetype i = chunk * kEntriesPerChunk; i < end; ++i)
            if (auto item = FileItem::fromPath(paths[i])) items.push_back(std::move(*item));
    });
    listing.items.reserve(paths.size());
    for (QList<FileItem>& chunk : chunks)
        listing.items.append(std::move(chunk));
    return listing;
}

// Files whose recognised text matched go first, each checked against the disk
// (it still exists, is the version that was read, and fits the query). Runs on
// the pool thread with the query, never on the GUI thread.
int addTextHits(SpotlightResult& found, const QList<LibraryStore::TextHit>& hits,
                const ParsedQuery& parsed)
{
    if (hits.isEmpty()) return 0;
    QSet<QString> listed;
    for (const FileItem& f : found.items)
        listed.insert(f.path);
    QList<FileItem> extra;
    for (const LibraryStore::TextHit& hit : hits) {
        const QString key = pathKey(hit.path);
        if (listed.contains(key) || Spotlight::isNoise(key)) continue;
        const auto item = FileItem::fromPath(key);
        // Recognised text describes one version of a file: a changed file's
        // old words no longer find it.
        if (!item || item->modified != hit.modified || !parsed.matches(*item)) continue;
        listed.insert(key);
        extra.push_back(*item);
    }
    const int added = int(extra.size());
    found.totalCount += added;
    extra.append(found.items);
    found.items = std::move(extra);
    return added;
}

// The listed scopes; none when the listing never ended. Waits: call it on a
// pool thread.
QStringList awaited(QFuture<QStringList> scopes)
{
    scopes.waitForFinished();
    return scopes.resultCount() > 0 ? scopes.result() : QStringList();
}

} // namespace

LibraryStore::LibraryStore(md::MetadataIndex& index, QObject* parent)
    : QObject(parent)
    , m_index(index)
    // Listing home is file system work: never on the GUI thread, where the
    // store is made. The task holds nothing of the store.
    , m_scopes(background::run(background::Pool::files, [] { return defaultScopes(); }))
{
    background::then(m_scopes, this, [this](const QStringList& scopes) { scopesListed(scopes); });
    m_indexChanged.setSingleShot(true);
    m_indexChanged.setInterval(kReloadDelayMs);
    connect(&m_indexChanged, &QTimer::timeout, this, &LibraryStore::reloadCollections);
    // Called on an index thread; the handler is cleared (waiting for a call in
    // progress) before this store goes, and a queued call to a deleted store is dropped.
    m_indexHandler = m_index.addChangeHandler([this] {
        QMetaObject::invokeMethod(
            this,
            [this] {
                if (!m_indexChanged.isActive()) m_indexChanged.start();
            },
            Qt::QueuedConnection);
    });
}

QFuture<QStringList> LibraryStore::scopes() const
{
    if (m_listedScopes) return QtFuture::makeReadyFuture<QStringList>(QStringList(*m_listedScopes));
    auto waiter = std::make_shared<QPromise<QStringList>>();
    waiter->start();
    m_scopeWaiters.append(waiter);
    return waiter->future();
}

void LibraryStore::withScopes(QObject* receiver, std::function<void(const QStringList&)> use) const
{
    if (m_listedScopes) return use(*m_listedScopes);
    background::then(scopes(), receiver, std::move(use));
}

void LibraryStore::scopesListed(const QStringList& scopes)
{
    m_listedScopes = scopes;
    for (const std::shared_ptr<QPromise<QStringList>>& waiter : std::exchange(m_scopeWaiters, {})) {
        waiter->addResult(scopes);
        waiter->finish();
    }
}

LibraryStore::~LibraryStore()
{
    m_index.removeChangeHandler(m_indexHandler);
    // The queries read the index by reference: none may outlive the store.
    m_tasks.cancelAndWait();
}

QStringList LibraryStore::defaultScopes()
{
    const QString home = Location::home();
    QStringList scopes;
    QDir dir(home);
    const QFileInfoList entries =
        dir.entryInfoList(QDir::Dirs | QDir::NoDotAndDotDot, QDir::NoSort);
    for (const QFileInfo& entry : entries) {
        if (!entry.isDir()) continue;
        const QString name = entry.fileName();
        if (name == u"Library" || name == u"Applications") continue;
        scopes << pathKey(entry.absoluteFilePath());
    }
    const QString iCloud = home + QStringLiteral("/Library/Mobile Documents/com~apple~CloudDocs");
    if (QFileInfo::exists(iCloud)) scopes << iCloud;
    if (scopes.isEmpty()) scopes << pathKey(home);
    return scopes;
}

std::optional<LibraryStore::CollectionQuery>
LibraryStore::collectionQuery(const SidebarItem& item) const
{
    if (const SmartCollection* smart = item.as<SmartCollection>()) {
        switch (*smart) {
        case SmartCollection::recents:
            return CollectionQuery{QStringLiteral("kMDItemLastUsedDate >= $time.today(-30)"),
                                   QStringLiteral("kMDItemLastUsedDate"),
                                   Spotlight::Accept::byCategory(notFolder)};
        case SmartCollection::large:
            return CollectionQuery{QStringLiteral("kMDItemFSSize > 100000000"),
                                   QStringLiteral("kMDItemFSSize"),
                                   Spotlight::Accept::byCategory(notFolder)};
        case SmartCollection::screenshots:
            return CollectionQuery{QStringLiteral("kMDItemIsScreenCapture == 1"),
                                   QStringLiteral("kMDItemFSContentChangeDate"),
                                   Spotlight::Accept::byCategory(notFolder)};
        }
    }
    if (const FileCategory* category = item.as<FileCategory>()) {
        const FileCategory c = *category;
        const auto isCategory =
            Spotlight::Accept::byCategory([c](FileCategory other) { return other == c; });
        if (c == FileCategory::apps)
            return CollectionQuery{spotlightQuery(c), QStringLiteral("kMDItemFSName"), isCategory,
                                   true};
        return CollectionQuery{spotlightQuery(c), QStringLiteral("kMDItemFSContentChangeDate"),
                               isCategory};
    }
    return std::nullopt;
}

QFuture<void> LibraryStore::load(const SidebarItem& item, qint64 token)
{
    // A newer token asked while it loads is loaded after the running load.
    if (m_loads.ask(item, token) != KeyedLoadRequests<SidebarItem>::Answer::start)
        return QtFuture::makeReadyFuture();
    const auto query = collectionQuery(item);
    if (!query) return QtFuture::makeReadyFuture();

    const std::function<bool()> stillWanted = m_loads.started(item);
    emit loadingChanged();
    // The folders are found on the pool thread too: the store's scopes may still
    // be listed, and the applications folders are checked on the disk.
    QFuture<SpotlightResult> running =
        m_tasks.run(background::Pool::index, [index = &m_index, scopes = m_scopes,
                                              query = *query](QPromise<SpotlightResult>& promise) {
            const auto cancelled = [&promise] { return promise.isCanceled(); };
            const QStringList folders =
                query.inApplicationFolders ? xdg::applicationFolders() : awaited(scopes);
            SpotlightResult result =
                Spotlight::runBlocking(*index, query.query, folders, query.sortKey,
                                       kCollectionLimit, query.accept, cancelled);
            promise.addResult(promise.isCanceled() ? SpotlightResult::empty() : std::move(result));
        });
    m_running.insert(item, running);
    return background::then(
        running, stillWanted,
        [this, item, token](const SpotlightResult& result) { finishLoad(item, token, result); },
        [this, item] { dropLoad(item); });
}

void LibraryStore::cancelLoad(const SidebarItem& item)
{
    auto it = m_running.find(item);
    if (it == m_running.end()) return;
    background::cancel(*it);
    // The work may have ended already, its answer posted to this thread: that
    // answer is dropped too, so the load ends here either way.
    dropLoad(item);
}

void LibraryStore::dropLoad(const SidebarItem& item)
{
    m_running.remove(item);
    if (m_loads.cancel(item)) emit loadingChanged();
    settleWaiters(item);
}

void LibraryStore::finishLoad(const SidebarItem& item, qint64 token, const SpotlightResult& result)
{
    m_running.remove(item);
    m_collections.insert(item, result);
    emit collectionsChanged();
    if (qEnvironmentVariableIsSet("OVRA_DEBUG")) {
        std::fprintf(stderr, "[ovra] %s: %lld items\n", item.title().toUtf8().constData(),
                     static_cast<long long>(result.totalCount));
    }
    const std::optional<qint64> next = m_loads.ended(item, token);
    emit loadingChanged();
    if (next) {
        load(item, *next);
        return;
    }
    settleWaiters(item);
}

void LibraryStore::reloadCollections()
{
    const QList<SidebarItem> items = m_collections.keys();
    for (const SidebarItem& item : items) {
        if (const std::optional<qint64> token = m_loads.reload(item)) load(item, *token);
    }
}

void LibraryStore::settleWaiters(const SidebarItem& item)
{
    if (m_loads.isRunning(item)) return;
    const auto waiters = m_waiters.take(item);
    const SpotlightResult result = m_collections.value(item, SpotlightResult::empty());
    for (const auto& promise : waiters) {
        promise->addResult(result);
        promise->finish();
    }
}

QFuture<SpotlightResult> LibraryStore::result(const SidebarItem& item, qint64 token)
{
    if (!collectionQuery(item)) return QtFuture::makeReadyFuture(SpotlightResult::empty());
    load(item, token);
    if (m_collections.contains(item) && !m_loads.isRunning(item))
        return QtFuture::makeReadyFuture(m_collections.value(item));
    auto promise = std::make_shared<QPromise<SpotlightResult>>();
    promise->start();
    m_waiters[item].push_back(promise);
    return promise->future();
}

QFuture<FolderListing> LibraryStore::listFolder(const QString& folder)
{
    return background::run(background::Pool::files, [folder] { return listFolderNow(folder); });
}

void LibraryStore::remove(const QSet<QString>& paths)
{
    auto strip = [&](SpotlightResult& result) {
        QList<FileItem> kept;
        kept.reserve(result.items.size());
        qsizetype removed = 0;
        qint64 removedSize = 0;
        for (FileItem& f : result.items) {
            if (paths.contains(f.path)) {
                ++removed;
                removedSize += f.size;
            } else {
                kept.push_back(std::move(f));
            }
        }
        result.items = std::move(kept);
        result.totalCount = std::max<qsizetype>(0, result.totalCount - removed);
        result.totalSize = std::max<qint64>(0, result.totalSize - removedSize);
    };
    for (auto it = m_collections.begin(); it != m_collections.end(); ++it)
        strip(it.value());
    emit collectionsChanged();
    if (m_searchResult) {
        strip(*m_searchResult);
        emit searchChanged();
    }
}

QFuture<void> LibraryStore::search(const QString& text, TextSearch textSearch, QDateTime now)
{
    const QString trimmed = trimmedSearchText(text);
    m_searching.moveTo(trimmed);
    // Whatever runs answers an older text: fast typing never queues full queries.
    background::cancel(m_search);
    if (trimmed.isEmpty()) {
        // Empty text also ends the searching state: nothing is running for it.
        const bool hadResult = m_searchResult.has_value(), hadQuery = m_parsedQuery.has_value();
        const bool wasSearching = m_isSearching;
        m_searchResult.reset();
        m_parsedQuery.reset();
        m_isSearching = false;
        if (hadResult || hadQuery || wasSearching) emit searchChanged();
        return QtFuture::makeReadyFuture();
    }
    if (!m_isSearching) {
        m_isSearching = true;
        emit searchChanged();
    }
    if (!now.isValid()) now = QDateTime::currentDateTime();
    // One trip off the GUI thread: folder words ("in downloads") read the
    // user's folders, the text index is a scan of memory and its hits are
    // checked against the disk, so none of it may run here.
    m_search = m_tasks.run(background::Pool::index,
                           [index = &m_index, trimmed, now, scopes = m_scopes,
                            textSearch = std::move(textSearch)](QPromise<SearchAnswer>& promise) {
                               answerSearch(promise, *index, trimmed, now, scopes, textSearch);
                           });
    auto done = std::make_shared<QPromise<void>>();
    done->start();
    background::then(
        m_search, this,
        [this, trimmed, done, wanted = m_searching.stillWanted()](const SearchAnswer& answer) {
            if (wanted()) publish(trimmed, answer); // else a newer text was asked for
            done->finish();
        },
        // A cancelled search publishes nothing; a newer one owns the fields.
        [done] { done->finish(); });
    return done->future();
}

void LibraryStore::answerSearch(QPromise<SearchAnswer>& promise, md::MetadataIndex& index,
                                const QString& trimmed, const QDateTime& now,
                                const QFuture<QStringList>& storeScopes,
                                const TextSearch& textSearch)
{
    SearchAnswer answer;
    answer.parsed = NaturalSearch::parse(trimmed, now, NaturalSearch::SearchCalendar::current());
    const ParsedQuery& parsed = answer.parsed;
    if (promise.isCanceled()) return;
    QList<TextHit> hits;
    if (textSearch) {
        QStringList terms = parsed.terms;
        if (terms.isEmpty() && !parsed.isStructured()) terms = {trimmed};
        if (!terms.isEmpty()) hits = textSearch(terms);
    }
    QStringList scopes;
    if (parsed.folder) {
        scopes << parsed.folder->path;
    } else {
        scopes = awaited(storeScopes);
        scopes << xdg::applicationFolders();
    }
    if (promise.isCanceled()) return;
    answer.found = Spotlight::runBlocking(
        index, parsed.spotlightQuery(), scopes, QStringLiteral("kMDItemFSContentChangeDate"),
        kSearchLimit, {}, [&promise] { return promise.isCanceled(); });
    if (promise.isCanceled()) return;
    answer.textMatches = addTextHits(answer.found, hits, parsed);
    promise.addResult(std::move(answer));
}

// The one place an answer lands. Every field takes its new value before anyone
// hears of it, so no reader sees the items of one text beside the name of
// another.
void LibraryStore::publish(const QString& trimmed, const SearchAnswer& answer)
{
    m_searchResult = answer.found;
    m_parsedQuery = answer.parsed;
    m_textMatchCount = answer.textMatches;
    m_searchedQuery = trimmed;
    m_isSearching = false;
    emit searchChanged();
}

} // namespace ovra
