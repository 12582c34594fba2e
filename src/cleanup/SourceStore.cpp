#include "SourceStore.h"

#include "library/Spotlight.h"
#include "library/Trash.h"
#include "platform/Background.h"
#include "platform/metadata/MetadataIndex.h"

#include <QPointer>

#include <algorithm>
#include <cstdio>
#include <mutex>
#include <shared_mutex>
#include <vector>

namespace ovra {

namespace {

// Folders are never grouped; leaving them out in the query spares judging each.
const QString kDownloadsQuery =
    QStringLiteral("kMDItemWhereFroms == * && kMDItemContentType != 'public.folder'");
constexpr std::size_t kItemsPerThread = 2048;
constexpr qsizetype kMaxRemembered = 4 * SourceStore::kMaxDownloads;

// Runs `work` over [0, count) in contiguous ranges on the index's pool, the
// calling thread taking part; a small count stays on the calling thread.
void inParallel(std::size_t count, const std::function<void(std::size_t, std::size_t)>& work)
{
    const std::size_t ranges = std::max<std::size_t>(1, count / kItemsPerThread);
    if (ranges == 1) return work(0, count);
    const std::size_t per = (count + ranges - 1) / ranges;
    background::forEach(background::Pool::index, qsizetype(ranges), [&](qsizetype range) {
        const std::size_t begin = std::size_t(range) * per;
        work(begin, std::min(count, begin + per));
    });
}

// The classifier's link: the first web address, else the first string.
QString linkOf(const QStringList& whereFroms)
{
    for (const QString& string : whereFroms)
        if (string.startsWith(QLatin1String("http"))) return string;
    return whereFroms.first();
}

// Whether a source was named from the hosts of the addresses (a catalog
// service or a site), so that every file with the same hosts gets it. Mail is
// named from an "@" anywhere in the strings, which the site key does not keep.
bool namesASite(const DownloadSource& source)
{
    return source.domains != QStringList{QStringLiteral("@")};
}

bool groupComesFirst(const SourceStore::Group& a, const SourceStore::Group& b)
{
    if (a.items.size() != b.items.size()) return a.items.size() > b.items.size();
    return a.source.name < b.source.name;
}

} // namespace

std::optional<DownloadSource> SourceStore::Classifications::find(const QString& key) const
{
    std::shared_lock lock(mutex);
    if (const auto found = bySite.constFind(key); found != bySite.cend()) return *found;
    return std::nullopt;
}

std::optional<QString> SourceStore::siteKey(const QStringList& whereFroms)
{
    QString key;
    for (const QString& string : whereFroms) {
        // Extensions are named by the whole address; they are few.
        if (string.contains(QLatin1String("-extension://"))) return std::nullopt;
        QStringView rest(string);
        if (rest.startsWith(QLatin1String("blob:"))) rest = rest.mid(5);
        const qsizetype scheme = rest.indexOf(QLatin1String("://"));
        if (scheme < 0) return std::nullopt;
        qsizetype end = scheme + 3;
        while (end < rest.size() && rest[end] != u'/' && rest[end] != u'?' && rest[end] != u'#')
            ++end;
        if (!key.isEmpty()) key += u'\n';
        key += rest.left(end);
    }
    return key;
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

SourceStore::~SourceStore() = default;

QFuture<void> SourceStore::load(const QStringList& scopes, qint64 token)
{
    bool startNow = false;
    QFuture<void> done = m_requests.ask(scopes, token, startNow);
    if (startNow) start(scopes, token);
    return done;
}

void SourceStore::start(const QStringList& scopes, qint64 token)
{
    m_requests.started(token);
    m_trashedDuringLoad.clear();
    if (!m_loading) {
        m_loading = true;
        emit loadingChanged();
    }
    const auto grouping = m_tasks.run(
        background::Pool::index, [gather = m_gather, classifications = m_classifications, scopes] {
            return grouped(gather(scopes), *classifications);
        });
    background::then(grouping, this,
                     [this, token](const QList<Group>& groups) { finish(token, groups); });
}

void SourceStore::finish(qint64 token, QList<Group> groups)
{
    setGroups(std::move(groups));
    if (!m_trashedDuringLoad.isEmpty()) remove(std::exchange(m_trashedDuringLoad, {}));
    if (qEnvironmentVariableIsSet("OVRA_DEBUG"))
        std::fprintf(stderr, "[ovra] Downloaded From: %d sources\n", groupCount());
    if (const auto next = m_requests.ended(token)) return start(next->scopes, next->token);
    m_loading = false;
    emit loadingChanged();
    if (!m_hasLoaded) {
        m_hasLoaded = true;
        emit hasLoadedChanged();
    }
    emit changed();
    m_requests.finishWaiters();
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
    const std::optional<md::Attr> newestFirst = md::attrNamed(u"kMDItemFSContentChangeDate");
    // The index keeps only the newest it is asked for, far cheaper than
    // ordering every match; only when noise took some of those places does the
    // next newest have to be found among all matches.
    md::MetadataIndex::Results results =
        index.query(query, scopes, newestFirst, std::size_t(kMaxDownloads), {}, false);
    std::vector<std::size_t> kept;
    const auto keepQuiet = [&] {
        kept.clear();
        kept.reserve(results.count());
        for (std::size_t i = 0; i < results.count(); ++i)
            if (!results.isNoise(i)) kept.push_back(i);
    };
    keepQuiet();
    if (kept.size() < results.count() && results.totalMatches() > results.count()) {
        results = index.query(query, scopes, newestFirst, std::size_t(Spotlight::kMaxResultsRead),
                              {}, false);
        keepQuiet();
    }
    const std::vector<std::size_t> listed =
        results.firstInOrder(std::move(kept), std::size_t(kMaxDownloads));

    // Reading an item with its origins is the costly part: on every core.
    std::vector<std::optional<Download>> read(listed.size());
    inParallel(listed.size(), [&](std::size_t begin, std::size_t end) {
        for (std::size_t n = begin; n < end; ++n) {
            // The query has read the origins already: only the list is taken,
            // not the type texts every file of a type shares.
            if (auto item = FileItem::fromMetadata(results.item(listed[n], false)))
                read[n] = Download{std::move(*item), results.whereFroms(listed[n])};
        }
    });
    QList<Download> downloads;
    downloads.reserve(qsizetype(listed.size()));
    for (auto& download : read)
        if (download) downloads.append(std::move(*download));
    return downloads;
}

QList<SourceStore::Group> SourceStore::grouped(const QList<Download>& downloads,
                                               Classifications& classifications)
{
    // Files from one site share their answer: each worker classifies a site
    // once, the answers of earlier loads are looked up, and the new ones kept
    // for the next load once the workers are done.
    std::vector<std::optional<DownloadSource>> sources(std::size_t(downloads.size()));
    std::mutex learnedMutex;
    QHash<QString, DownloadSource> learned;
    inParallel(sources.size(), [&](std::size_t begin, std::size_t end) {
        QHash<QString, DownloadSource> local;
        for (std::size_t n = begin; n < end; ++n) {
            const Download& download = downloads[qsizetype(n)];
            if (download.item.category == FileCategory::folders) continue;
            const std::optional<QString> key = siteKey(download.whereFroms);
            if (!key) {
                sources[n] = DownloadSources::classify(download.whereFroms);
                continue;
            }
            std::optional<DownloadSource> known;
            if (const auto found = local.constFind(*key); found != local.cend())
                known = *found;
            else
                known = classifications.find(*key);
            if (known) {
                known->link = linkOf(download.whereFroms);
                sources[n] = std::move(known);
                continue;
            }
            sources[n] = DownloadSources::classify(download.whereFroms);
            if (sources[n] && namesASite(*sources[n])) local.insert(*key, *sources[n]);
        }
        std::lock_guard lock(learnedMutex);
        learned.insert(local);
    });
    {
        std::unique_lock lock(classifications.mutex);
        // Sites of files long gone would pile up over a long session.
        if (classifications.bySite.size() > kMaxRemembered) classifications.bySite.clear();
        classifications.bySite.insert(learned);
    }
    QList<Group> groups;
    QHash<QString, qsizetype> byName;
    for (qsizetype n = 0; n < downloads.size(); ++n) {
        std::optional<DownloadSource>& source = sources[std::size_t(n)];
        if (!source) continue;
        auto found = byName.constFind(source->name);
        if (found == byName.cend()) {
            found = byName.insert(source->name, groups.size());
            groups.append({std::move(*source), {}, 0});
        }
        Group& group = groups[*found];
        group.items.append(downloads[n].item);
        group.totalSize += downloads[n].item.size;
    }
    std::stable_sort(groups.begin(), groups.end(), groupComesFirst);
    return groups;
}

} // namespace ovra
