#pragma once

#include "cleanup_model/DownloadSource.h"
#include "library/FileItem.h"
#include "library/Summaries.h"
#include "platform/Background.h"
#include "platform/LoadRequests.h"

#include <QFuture>
#include <QHash>
#include <QList>
#include <QPromise>
#include <QSet>
#include <QStringList>

#include <functional>
#include <memory>
#include <optional>
#include <shared_mutex>

namespace ovra {

class Trash;
namespace md {
class MetadataIndex;
}

// The downloaded files grouped by the site or app they came from, most files
// first. A load asks the index for every file with a download origin (the
// index reads each file's origin once and keeps it), classifies and groups
// them on the index's pool. Main thread only.
class SourceStore : public SourceSummary {
    Q_OBJECT
    Q_PROPERTY(bool loading READ loading NOTIFY loadingChanged)
    Q_PROPERTY(bool hasLoaded READ hasLoaded NOTIFY hasLoadedChanged)

public:
    // At most this many downloads are grouped per load, the newest first.
    static constexpr qsizetype kMaxDownloads = 50000;

    struct Group {
        // The source as classified for the group's first file, with its link.
        DownloadSource source;
        QList<FileItem> items; // newest change first
        qint64 totalSize = 0;
    };
    // A file and the addresses it was downloaded from.
    struct Download {
        FileItem item;
        QStringList whereFroms;
    };
    // Answers from earlier loads by site, so a reload classifies only sites it
    // has not met. Shared with the workers; one load runs at a time.
    struct Classifications {
        mutable std::shared_mutex mutex;
        QHash<QString, DownloadSource> bySite; // by site key
        std::optional<DownloadSource> find(const QString& key) const;
    };
    // What the classification of a where-from list depends on when it names
    // hosts: the scheme and authority of each address (a host is read from
    // nothing else); the rest of an address only picks the file's link. None
    // for lists that name a browser extension or hold a string that is no
    // address, which are classified one by one.
    static std::optional<QString> siteKey(const QStringList& whereFroms);
    // Finds the downloads of the scopes; runs on a worker thread.
    using Gather = std::function<QList<Download>(const QStringList& scopes)>;

    SourceStore(md::MetadataIndex& index, Trash* trash, QObject* parent = nullptr);
    SourceStore(Gather gather, Trash* trash, QObject* parent = nullptr);
    ~SourceStore() override;

    // Same token rules as every store: a token already loaded returns at once;
    // a newer token while a load runs loads once more when it ends.
    QFuture<void> load(const QStringList& scopes, qint64 token) override;
    int groupCount() const override { return int(m_groups.size()); }

    const QList<Group>& groups() const { return m_groups; }
    std::optional<Group> group(const QString& name) const;
    bool loading() const { return m_loading; }
    bool hasLoaded() const { return m_hasLoaded; }
    qint64 loadedToken() const { return m_requests.loadedToken(); }

    // Drops trashed files from their groups at once; a group left empty goes.
    void remove(const QSet<QString>& paths);

    // The files of the scopes that carry a download origin, folders and noise
    // left out, newest change first, at most kMaxDownloads. Blocking.
    static QList<Download> gather(md::MetadataIndex& index, const QStringList& scopes);
    // One group per source, most files first, ties by name (plain order).
    static QList<Group> grouped(const QList<Download>& downloads, Classifications& classifications);

signals:
    void groupsChanged();
    void loadingChanged();
    void hasLoadedChanged();

private:
    void start(const QStringList& scopes, qint64 token);
    void finish(qint64 token, QList<Group> groups);
    void setGroups(QList<Group> groups);

    Gather m_gather;
    std::shared_ptr<Classifications> m_classifications = std::make_shared<Classifications>();
    QList<Group> m_groups;
    bool m_loading = false;
    bool m_hasLoaded = false;
    QSet<QString> m_trashedDuringLoad;
    LoadRequests m_requests;
    // Last, so the store's work is cancelled and waited for before the rest goes.
    background::TaskSet m_tasks;
};

} // namespace ovra
