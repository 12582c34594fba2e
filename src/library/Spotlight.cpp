#include "Spotlight.h"

#include "platform/Background.h"
#include "platform/PathKey.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/NoiseRules.h"

#include <QPromise>

#include <algorithm>
#include <mutex>

namespace ovra {

const SpotlightResult& SpotlightResult::empty()
{
    static const SpotlightResult result;
    return result;
}

namespace Spotlight {
namespace {

constexpr std::size_t kItemsPerTask = 4096;

struct Verdict {
    bool accepted = false;
    qint64 size = 0;
};

// The category an item made from the result would have: results carry no
// directory flag into items, so it follows from the type alone.
FileCategory categoryOf(const UniformType& type)
{
    return classify(type.isValid() ? std::optional<UniformType>(type) : std::nullopt, false);
}

// Building a FileItem for each of up to 300,000 results is the costly part of a
// query: judge them on as many threads as the index evaluates on, then build the
// listed items again in order.
std::vector<Verdict> judge(const md::MetadataIndex::Results& results, const Accept& accept,
                           const std::function<bool()>& isCancelled, int threads)
{
    std::vector<Verdict> verdicts(results.count());
    const std::size_t tasks = std::clamp<std::size_t>(results.count() / kItemsPerTask, 1,
                                                      std::size_t(std::max(1, threads)));
    const std::size_t per = (results.count() + tasks - 1) / tasks;
    auto work = [&](std::size_t task) {
        // A test by category is answered once per type: a home holds a few hundred.
        enum : std::int8_t { Unjudged = -1 };
        std::vector<std::int8_t> byType;
        if (accept.judgesCategoryOnly()) byType.assign(std::size_t(UINT16_MAX) + 1, Unjudged);
        const std::size_t end = std::min(results.count(), (task + 1) * per);
        for (std::size_t i = task * per; i < end; ++i) {
            if ((i & 1023) == 0 && isCancelled && isCancelled()) return;
            if (results.isNoise(i)) continue;
            // Without a test to run, a file's size is all there is to know: no
            // item (path, name, type) is built for each of a search's matches.
            if (!accept) {
                verdicts[i] = {true, results.fileSize(i)};
                continue;
            }
            if (accept.judgesCategoryOnly()) {
                const UniformType type = results.contentType(i);
                std::int8_t& verdict = byType[type.internId()];
                if (verdict == Unjudged) verdict = accept(categoryOf(type)) ? 1 : 0;
                if (verdict) verdicts[i] = {true, results.fileSize(i)};
                continue;
            }
            const std::optional<FileItem> item = FileItem::fromMetadata(results.item(i, false));
            if (!item || (accept && !accept(*item))) continue;
            verdicts[i] = {true, item->size};
        }
    };
    background::forEach(int(tasks), qsizetype(tasks),
                        [&](qsizetype task) { work(std::size_t(task)); });
    return verdicts;
}

} // namespace

Accept Accept::byCategory(std::function<bool(FileCategory)> test)
{
    Accept accept;
    accept.m_category = std::move(test);
    return accept;
}

bool Accept::operator()(const FileItem& item) const
{
    return m_category ? m_category(item.category) : m_item(item);
}

SpotlightResult runBlocking(md::MetadataIndex& index, const QString& queryString,
                            const QStringList& scopes, const QString& sortKey, qsizetype limit,
                            const Accept& accept, const std::function<bool()>& isCancelled)
{
    const md::Query query = md::Query::parse(queryString);
    if (!query.isValid()) return SpotlightResult::empty();
    const md::MetadataIndex::Results results = index.query(
        query, scopes, md::attrNamed(sortKey), std::size_t(kMaxResultsRead), isCancelled, false);
    if (isCancelled && isCancelled()) return SpotlightResult::empty();

    const std::vector<Verdict> verdicts = judge(results, accept, isCancelled, index.threadCount());
    if (isCancelled && isCancelled()) return SpotlightResult::empty();
    SpotlightResult out;
    std::vector<std::size_t> accepted;
    for (std::size_t i = 0; i < verdicts.size(); ++i) {
        if (!verdicts[i].accepted) continue;
        ++out.totalCount;
        out.totalSize += verdicts[i].size;
        accepted.push_back(i);
    }
    // Only the listed items need the query's order.
    for (const std::size_t i :
         results.firstInOrder(std::move(accepted), std::size_t(std::max<qsizetype>(0, limit)))) {
        if (auto item = FileItem::fromMetadata(results.item(i, false))) {
            item->nameApplication();
            out.items.push_back(std::move(*item));
        }
    }
    return out;
}

QFuture<SpotlightResult> run(md::MetadataIndex& index, const QString& query,
                             const QStringList& scopes, const QString& sortKey, qsizetype limit,
                             Accept accept)
{
    // An unparsable string answers at once, without touching the index.
    if (!md::Query::parse(query).isValid())
        return QtFuture::makeReadyFuture(SpotlightResult::empty());
    return background::run(
        background::Pool::index, [&index, query, scopes, sortKey, limit,
                                  accept = std::move(accept)](QPromise<SpotlightResult>& promise) {
            const auto cancelled = [&promise] { return promise.isCanceled(); };
            SpotlightResult result =
                runBlocking(index, query, scopes, sortKey, limit, accept, cancelled);
            promise.addResult(promise.isCanceled() ? SpotlightResult::empty() : std::move(result));
        });
}

bool isNoise(const QString& path)
{
    const QString key = pathKey(path);
    const QString home = pathKey(xdg::home());
    const QString relative = pathIsInside(key, home) ? pathBelow(key, home) : key.mid(1);
    return md::isNoiseRelativePath(relative);
}

} // namespace Spotlight

} // namespace ovra
