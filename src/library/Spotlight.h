#pragma once

#include "FileItem.h"

#include <QFuture>
#include <QList>
#include <QString>
#include <QStringList>

#include <functional>
#include <type_traits>

namespace ovra {

namespace md {
class MetadataIndex;
}

// One query's answer: at most `limit` items in the query's order, and totals over
// every accepted match among the results read.
struct SpotlightResult {
    QList<FileItem> items;
    qsizetype totalCount = 0;
    qint64 totalSize = 0;

    static const SpotlightResult& empty();
    bool isEmpty() const { return items.isEmpty() && totalCount == 0 && totalSize == 0; }
};

// The one way the app asks the metadata index for files.
namespace Spotlight {

// Which of a query's files are kept. A test of the category alone reads only
// each file's type: a collection judges up to hundreds of thousands of results,
// and building an item for each would cost more than the query. Any other test
// sees the whole item.
class Accept {
public:
    Accept() = default;
    template <typename Test>
    requires std::is_invocable_r_v<bool, const Test&, const FileItem&> Accept(Test test)
        : m_item(std::move(test))
    {
    }
    static Accept byCategory(std::function<bool(FileCategory)> test);

    explicit operator bool() const { return m_item || m_category; }
    bool judgesCategoryOnly() const { return bool(m_category); }
    bool operator()(const FileItem& item) const;
    bool operator()(FileCategory category) const { return m_category(category); }

private:
    std::function<bool(const FileItem&)> m_item;
    std::function<bool(FileCategory)> m_category;
};

// At most this many results are read per query, whatever the limit.
inline constexpr qsizetype kMaxResultsRead = 300000;

// Runs a metadata query string over the scopes, sorted by one attribute
// (descending), skipping noise paths, keeping what `accept` accepts. `accept` runs
// on worker threads: it may read only the item and what it captured. Never fails:
// an invalid query string, a cancelled future or any failure gives the empty
// result. The future finishes exactly once. Runs on the index's pool; the index
// must outlive the work, so the caller keeps the future in its TaskSet.
QFuture<SpotlightResult> run(md::MetadataIndex& index, const QString& query,
                             const QStringList& scopes, const QString& sortKey, qsizetype limit,
                             Accept accept);

// The same, on the calling thread (for workers, tests and the benchmarks).
SpotlightResult runBlocking(md::MetadataIndex& index, const QString& query,
                            const QStringList& scopes, const QString& sortKey, qsizetype limit,
                            const Accept& accept, const std::function<bool()>& isCancelled = {});

// True for a path that no collection lists: one with a hidden part, or inside an
// application bundle, photo or music library, framework, project, build or
// dependency folder. Judged below the home folder for paths inside it.
bool isNoise(const QString& path);

} // namespace Spotlight

} // namespace ovra
