#include "CleanupStore.h"

#include "CleanupSearch.h"
#include "library/Trash.h"
#include "platform/Background.h"

#include <QPointer>

namespace ovra {

CleanupStore::CleanupStore(md::MetadataIndex& index, Trash* trash, QObject* parent)
    : CleanupStore(
          [&index](CleanupKind kind, const QStringList& scopes) {
              return CleanupSearch::run(index, kind, scopes);
          },
          trash, parent)
{
}

CleanupStore::CleanupStore(Search search, Trash* trash, QObject* parent)
    : CleanupSummary(parent)
    , m_search(std::move(search))
{
    if (trash) trash->registerStore(this, [this](const QSet<QString>& paths) { remove(paths); });
}

CleanupStore::~CleanupStore() = default;

QFuture<void> CleanupStore::load(const QStringList& scopes, qint64 token)
{
    bool startNow = false;
    QFuture<void> done = m_requests.ask(scopes, token, startNow);
    if (startNow) start(scopes, token);
    return done;
}

void CleanupStore::start(const QStringList& scopes, qint64 token)
{
    m_requests.started(token);
    m_trashedDuringLoad.clear();
    setLoading(true);
    searchFrom(0, scopes, token);
}

void CleanupStore::searchFrom(int index, const QStringList& scopes, qint64 token)
{
    if (index >= int(kAllCleanupKinds.size())) return finish(token);
    const CleanupKind kind = kAllCleanupKinds[std::size_t(index)];
    const auto searching = m_tasks.run(background::Pool::index, [search = m_search, kind, scopes] {
        return search(kind, scopes);
    });
    background::then(searching, this,
                     [this, index, scopes, token, kind](const SpotlightResult& result) {
                         store(kind, result);
                         searchFrom(index + 1, scopes, token);
                     });
}

void CleanupStore::finish(qint64 token)
{
    m_trashedDuringLoad.clear();
    if (const auto next = m_requests.ended(token)) return start(next->scopes, next->token);
    setLoading(false);
    m_requests.finishWaiters();
}

void CleanupStore::setLoading(bool loading)
{
    if (m_loading == loading) return;
    m_loading = loading;
    emit loadingChanged();
    emit changed();
}

void CleanupStore::store(CleanupKind kind, SpotlightResult result)
{
    if (!m_trashedDuringLoad.isEmpty()) {
        const qsizetype before = result.items.size();
        qint64 bytes = 0;
        result.items.removeIf([&](const FileItem& item) {
            if (!m_trashedDuringLoad.contains(item.path)) return false;
            bytes += item.size;
            return true;
        });
        result.totalCount -= before - result.items.size();
        result.totalSize -= bytes;
    }
    m_results.insert(kind, std::move(result));
    emit resultsChanged(kind);
    emit changed();
}

std::optional<SpotlightResult> CleanupStore::result(CleanupKind kind) const
{
    const auto found = m_results.constFind(kind);
    if (found == m_results.cend()) return std::nullopt;
    return *found;
}

qint64 CleanupStore::totalReclaimable() const
{
    return listedBytes(nullptr);
}

qint64 CleanupStore::bytesAmong(const QSet<QString>& paths) const
{
    return listedBytes(&paths);
}

qint64 CleanupStore::listedBytes(const QSet<QString>* only) const
{
    qint64 total = 0;
    QSet<QString> seen;
    for (CleanupKind kind : kAllCleanupKinds) {
        const auto found = m_results.constFind(kind);
        if (found == m_results.cend()) continue;
        for (const FileItem& item : found->items) {
            if (only && !only->contains(item.path)) continue;
            if (seen.contains(item.path)) continue;
            seen.insert(item.path);
            total += item.size;
        }
    }
    return total;
}

void CleanupStore::remove(const QSet<QString>& paths)
{
    if (paths.isEmpty()) return;
    if (m_loading) m_trashedDuringLoad.unite(paths);
    for (CleanupKind kind : kAllCleanupKinds) {
        const auto found = m_results.find(kind);
        if (found == m_results.end()) continue;
        qsizetype removed = 0;
        qint64 bytes = 0;
        QList<FileItem> kept;
        kept.reserve(found->items.size());
        for (const FileItem& item : std::as_const(found->items)) {
            if (paths.contains(item.path)) {
                ++removed;
                bytes += item.size;
            } else {
                kept.append(item);
            }
        }
        if (removed == 0) continue;
        found->items = std::move(kept);
        found->totalCount -= removed;
        found->totalSize -= bytes;
        emit resultsChanged(kind);
        emit changed();
    }
}

} // namespace ovra
