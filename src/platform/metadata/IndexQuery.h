#pragma once

#include "IndexState.h"
#include "MetadataIndex.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <functional>
#include <memory>
#include <optional>
#include <vector>

namespace ovra::content {
class ContentIndex;
}

namespace ovra::md {

// One query's evaluation over one set of tables: which parts of which tables
// the scopes name, the files whose words match, the parallel pass over the
// entries, then the cut to the best results and their order.
class IndexQuery {
public:
    // `contentIndex` answers kMDItemTextContent; null: no file has words.
    IndexQuery(std::shared_ptr<const TableSet> tables, int threads,
               content::ContentIndex* contentIndex);

    // As `MetadataIndex::query`, over these tables alone (nothing is walked).
    MetadataIndex::Results run(const Query& query, const QStringList& scopes,
                               std::optional<Attr> sortKey, std::size_t maxResults,
                               const std::function<bool()>& isCancelled, bool ordered) const;

private:
    std::shared_ptr<const TableSet> m_tables;
    int m_threads;
    content::ContentIndex* m_contentIndex;
};

// What the index knows of one entry. `complete` false leaves out the type's
// texts and the download origins (see `MetadataIndex::Results::item`).
Item itemFromEntry(const Table& table, std::uint32_t entry, bool complete = true);

} // namespace ovra::md
