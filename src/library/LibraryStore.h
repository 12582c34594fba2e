#pragma once

#include "FileItem.h"
#include "ParsedQuery.h"
#include "SidebarItem.h"
#include "Spotlight.h"
#include "platform/Background.h"
#include "platform/KeyedTask.h"
#include "platform/LoadRequests.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QObject>
#include <QPromise>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QTimer>

#include <functional>
#include <memory>
#include <optional>

namespace ovra {

namespace md {
class MetadataIndex;
}

// Why a folder could not be listed; the folder view words each differently.
enum class FolderError { none, noPermission, notFound, notAFolder, other };

struct FolderListing {
    QList<FileItem> items;
    FolderError error = FolderError::none;
};

// The one app-wide store of file lists that come from the metadata index: a
// cached result per collection, the collections loading, and the current
// free-text search. Main thread only; every query runs off it.
class LibraryStore : public QObject {
    Q_OBJECT
    Q_PROPERTY(bool isSearching READ isSearching NOTIFY searchChanged)
    Q_PROPERTY(QString searchedQuery READ searchedQuery NOTIFY searchChanged)
    Q_PROPERTY(int textMatchCount READ textMatchCount NOTIFY searchChanged)

public:
    // A file whose recognised text holds every term, with the modification time
    // of the version that was read.
    struct TextHit {
        QString path;
        double modified = 0;
    };
    // The files whose recognised text holds every term, best first. Called on
    // the search's pool thread, so it must be safe there; the store checks the
    // hits against the disk on that thread too.
    using TextSearch = std::function<QList<TextHit>(const QStringList& terms)>;

    explicit LibraryStore(md::MetadataIndex& index, QObject* parent = nullptr);
    ~LibraryStore() override;

    // The visible folders directly inside home except "Library" and
    // "Applications", plus iCloud Drive when present; home alone when none.
    // Lists the home folder: call it on a pool thread.
    static QStringList defaultScopes();
    // The store's scopes, listed on a pool thread as the store is made; the
    // store's own queries wait for them on their pool threads. Answers at once:
    // a finished future once the listing is in, else one that finishes with it
    // on the GUI thread (each asker gets its own, to continue from). A store
    // that goes first cancels the futures still waiting.
    QFuture<QStringList> scopes() const;
    // Calls `use` with the scopes on the GUI thread: at once when they are
    // listed, else once they are, unless `receiver` has gone by then.
    void withScopes(QObject* receiver, std::function<void(const QStringList&)> use) const;
    md::MetadataIndex& index() const { return m_index; }

    const QHash<SidebarItem, SpotlightResult>& collections() const { return m_collections; }
    const QSet<SidebarItem>& loading() const { return m_loads.running(); }
    bool isLoading(const SidebarItem& item) const { return m_loads.isRunning(item); }

    // Loads one collection unless it is loading or already loaded for this token
    // or a newer one. Asked again with a newer token while it loads, it loads once
    // more when the running load ends. Entries without a query change nothing.
    QFuture<void> load(const SidebarItem& item, qint64 token);
    // Stops a running load: it stores nothing and does not count as loaded.
    void cancelLoad(const SidebarItem& item);
    // Loads, then answers once the collection is present and not loading. An
    // entry that has no query answers the empty result at once.
    QFuture<SpotlightResult> result(const SidebarItem& item, qint64 token);

    // Lists one folder from the file system, off the GUI thread, hidden entries
    // left out, unsorted.
    static QFuture<FolderListing> listFolder(const QString& folder);

    // Drops trashed files from every cached list, lowering counts and sizes.
    void remove(const QSet<QString>& paths);

    // The free-text search. Parsing the text, asking the text index and running
    // the query are one task on the index pool; only the answer of the latest
    // text asked for is published, all its fields at once, and then
    // `searchChanged` tells of it once. `now` is when the text's dates are read
    // from (the current time when null).
    QFuture<void> search(const QString& text, TextSearch textSearch = {}, QDateTime now = {});
    const std::optional<SpotlightResult>& searchResult() const { return m_searchResult; }
    // The parsed form of the published answer's text; null when none.
    const std::optional<ParsedQuery>& parsedQuery() const { return m_parsedQuery; }
    QString searchedQuery() const { return m_searchedQuery; }
    bool isSearching() const { return m_isSearching; }
    int textMatchCount() const { return m_textMatchCount; }

    // The query, sort key, folders and accept test of a collection; none for
    // entries that are not collections.
    struct CollectionQuery {
        QString query;
        QString sortKey;
        Spotlight::Accept accept;
        // Over the applications folders rather than the store's scopes.
        bool inApplicationFolders = false;
    };
    std::optional<CollectionQuery> collectionQuery(const SidebarItem& item) const;

signals:
    void collectionsChanged();
    void loadingChanged();
    // Any of the search's fields changed (a search started, was answered or
    // cleared): emitted once per change, after every field holds its new value.
    void searchChanged();

private:
    void finishLoad(const SidebarItem& item, qint64 token, const SpotlightResult& result);
    // A load that stopped without an answer: the collection is not loaded for its token.
    void dropLoad(const SidebarItem& item);
    void settleWaiters(const SidebarItem& item);
    // A search's answer: the parsed text, the query's items with the text-index
    // hits already checked and put first.
    struct SearchAnswer {
        ParsedQuery parsed;
        SpotlightResult found;
        int textMatches = 0;
    };
    static void answerSearch(QPromise<SearchAnswer>& promise, md::MetadataIndex& index,
                             const QString& trimmed, const QDateTime& now,
                             const QFuture<QStringList>& storeScopes, const TextSearch& textSearch);
    void publish(const QString& trimmed, const SearchAnswer& answer);
    // The index saw the disk change: every loaded collection is asked again.
    void reloadCollections();

    void scopesListed(const QStringList& scopes);

    md::MetadataIndex& m_index;
    QFuture<QStringList> m_scopes;
    std::optional<QStringList> m_listedScopes; // once the listing reached the GUI thread
    mutable QList<std::shared_ptr<QPromise<QStringList>>> m_scopeWaiters;
    QHash<SidebarItem, SpotlightResult> m_collections;
    KeyedLoadRequests<SidebarItem> m_loads;
    QHash<SidebarItem, QFuture<SpotlightResult>> m_running;
    QHash<SidebarItem, QList<std::shared_ptr<QPromise<SpotlightResult>>>> m_waiters;
    // Changes come in bursts: one reload takes all that came while it waited.
    QTimer m_indexChanged;
    int m_indexHandler = 0; // the index's call of ours when it changes

    std::optional<SpotlightResult> m_searchResult;
    std::optional<ParsedQuery> m_parsedQuery;
    QString m_searchedQuery;
    // Keyed by the text searched for last: an answer for another text is not published.
    KeyedTask<QString> m_searching;
    bool m_isSearching = false;
    int m_textMatchCount = 0;
    QFuture<SearchAnswer> m_search;

    // Last, so it goes first: the store's queries are cancelled and waited for
    // before anything they answer to is gone.
    background::TaskSet m_tasks;
};

} // namespace ovra
