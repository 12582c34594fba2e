#include "SourceStore.h"

#include "CleanupPool.h"
#include "library/Spotlight.h"
#include "library/Trash.h"
#include "platform/metadata/MetadataIndex.h"

#include <QPointer>
#include <QtConcurrent/QtConcurrentRun>

#include <algorithm>
#include <cstdio>

namespace ovra {

namespace {

const QString kDownloadsQuery = QStringLiteral("kMDItemWhereFroms == *");

bool groupComesFirst(const SourceStore::Group& a, const SourceStore::Group& b)
{
    if (a.items.size() != b.items.size()) return a.items.size() > b.items.size();
    return a.source.name < b.source.name;
}

} // namespace

std::optional<DownloadSource> SourceStore::Classifications::classify(const QStringList& whereFroms)
{
    const QString key = whereFroms.join(u'\n');
    {
        std::lock_guard lock(mutex);
        if (const auto found = byOrigins.constFind(key); found != byOrigins.cend()) return *found;
    }
    std::optional<DownloadSource> source = DownloadSources::classify(whereFroms);
    std::lock_guard lock(mutex);
    byOrigins.insert(key, source);
    return source;
}

SourceStore::SourceStore(md::MetadataIndex& index, Trash* trash, QObject* parent)
    : SourceStore([&index](const QStringList& scopes) { return gather(index, scopes); }, trash,
                  parent)
{
}

SourceStore::SourceStore(Gather gather, Trash* trash, QObject* parent)
    : SourceSummary(parent)
    , m_gather(std::move(gather))
{
    if (trash) trash->registerStore(this, [this](const QSet<QString>& paths) { remove(paths); });
}

SourceStore::~SourceStore()
{
    for (const auto& waiter : std::as_const(m_waiters))
        waiter->finish();
}

QFuture<void> SourceStore::load(const QStringList& scopes, qint64 token)
{
    if (!m_loading && token == m_loadedToken) return QtFuture::makeReadyFuture();
    auto waiter = std::make_shared<QPromise<void>>();
    waiter->start();
    m_waiters.append(waiter);
    if (!m_loading)
        start(scopes, token);
    else if (token != m_runningToken)
        m_pending = std::make_pair(scopes, token);
    return waiter->future();
}

void SourceStore::start(const QStringList& scopes, qint64 token)
{
    m_runningToken = token;
    m_trashedDuringLoad.clear();
    if (!m_loading) {
        m_loading = true;
        emit loadingChanged();
    }
    QPointer<SourceStore> self(this);
    QtConcurrent::run(&cleanupPool(), [gather = m_gather, classifications = m_classifications,
                                       scopes] {
        return grouped(gather(scopes), *classifications);
    }).then(this, [self, token](QList<Group> groups) {
        if (self) self->finish(token, std::move(groups));
    });
}

void SourceStore::finish(qint64 token, QList<Group> groups)
{
    setGroups(std::move(groups));
    if (!m_trashedDuringLoad.isEmpty()) remove(std::exchange(m_trashedDuringLoad, {}));
    if (qEnvironmentVariableIsSet("OVRA_DEBUG"))
        std::fprintf(stderr, "[ovra] Downloaded From: %d sources\n", groupCount());
    m_loadedToken = token;
    if (m_pending) {
        auto [scopes, next] = *std::exchange(m_pending, std::nullopt);
        if (next != m_loadedToken) return start(scopes, next);
    }
    m_loading = false;
    emit loadingChanged();
    if (!m_hasLoaded) {
        m_hasLoaded = true;
        emit hasLoadedChanged();
    }
    emit changed();
    const auto waiters = std::exchange(m_waiters, {});
    for (const auto& waiter : waiters)
        waiter->finish();
}

void SourceStore::setGroups(QList<Group> groups)
{
    m_groups = std::move(groups);
    emit groupsChanged();
    emit changed();
}

std::optional<SourceStore::Group> SourceStore::group(const QString& name) const
{
    for (const Group& group : m_groups)
        if (group.source.name == name) return group;
    return std::nullopt;
}

void SourceStore::remove(const QSet<QString>& paths)
{
    if (paths.isEmpty()) return;
    if (m_loading) m_trashedDuringLoad.unite(paths);
    bool changedAny = false;
    QList<Group> kept;
    kept.reserve(m_groups.size());
    for (const Group& group : std::as_const(m_groups)) {
        Group left{group.source, {}, 0};
        for (const FileItem& item : group.items) {
            if (paths.contains(item.path)) continue;
            left.items.append(item);
            left.totalSize += item.size;
        }
        if (left.items.size() != group.items.size()) changedAny = true;
        if (!left.items.isEmpty()) kept.append(std::move(left));
    }
    if (!changedAny) return;
    std::stable_sort(kept.begin(), kept.end(), groupComesFirst);
    setGroups(std::move(kept));
}

QList<SourceStore::Download> SourceStore::gather(md::MetadataIndex& index,
                                                 const QStringList& scopes)
{
    const md::Query query = md::Query::parse(kDownloadsQuery);
    const md::MetadataIndex::Results results =
        index.query(query, scopes, md::attrNamed(u"kMDItemFSContentChangeDate"),
                    std::size_t(Spotlight::kMaxResultsRead), {}, false);
    std::vector<std::size_t> accepted;
    accepted.reserve(results.count());
    for (std::size_t i = 0; i < results.count(); ++i) {
        if (results.isNoise(i)) continue;
        const std::optional<FileItem> item = FileItem::fromMetadata(results.item(i, false));
        if (item && item->category != FileCategory::folders) accepted.push_back(i);
    }
    QList<Download> downloads;
    const auto listed = results.firstInOrder(std::move(accepted), std::size_t(kMaxDownloads));
    downloads.reserve(qsizetype(listed.size()));
    for (const std::size_t i : listed) {
        md::Item record = results.item(i, true);
        if (auto item = FileItem::fromMetadata(record))
            downloads.append({std::move(*item), std::move(record.whereFroms)});
    }
    return downloads;
}

QList<SourceStore::Group> SourceStore::grouped(const QList<Download>& downloads,
                                               Classifications& classifications)
{
    QList<Group> groups;
    QHash<QString, qsizetype> byName;
    for (const Download& download : downloads) {
        if (download.item.category == FileCategory::folders) continue;
        std::optional<DownloadSource> source = classifications.classify(download.whereFroms);
        if (!source) continue;
        auto found = byName.constFind(source->name);
        if (found == byName.cend()) {
            found = byName.insert(source->name, groups.size());
            groups.append({std::move(*source), {}, 0});
        }
        Group& group = groups[*found];
        group.items.append(download.item);
        group.totalSize += download.item.size;
    }
    std::stable_sort(groups.begin(), groups.end(), groupComesFirst);
    return groups;
}

} // namespace ovra
