#pragma once

#include "../PathKey.h"
#include "IndexTable.h"

#include <QString>

#include <cstddef>
#include <memory>
#include <mutex>
#include <string>
#include <vector>

namespace ovra::md {

// Every table of the index at one moment. Never changed once published: a walk
// or refresh makes a new set, and a query keeps the one it started with.
struct TableSet {
    std::vector<std::shared_ptr<const Table>> tables;
};

// The set the next query reads, and the count of file reads that made it.
class CurrentTables {
public:
    CurrentTables() = default;
    CurrentTables(const CurrentTables&) = delete;
    CurrentTables& operator=(const CurrentTables&) = delete;

    std::shared_ptr<const TableSet> snapshot() const
    {
        std::lock_guard lock(m_mutex);
        return m_tables;
    }

    void publish(std::shared_ptr<const TableSet> next, std::size_t contentReads)
    {
        std::lock_guard lock(m_mutex);
        m_tables = std::move(next);
        m_contentReads += contentReads;
    }

    std::size_t contentReads() const
    {
        std::lock_guard lock(m_mutex);
        return m_contentReads;
    }

private:
    mutable std::mutex m_mutex;
    std::shared_ptr<const TableSet> m_tables = std::make_shared<TableSet>();
    std::size_t m_contentReads = 0;
};

inline std::string toUtf8(const QString& s)
{
    return s.toUtf8().toStdString();
}

// The table whose root holds `scope`, the innermost when several do.
inline const Table* coveringTable(const TableSet& set, const QString& scope)
{
    const Table* best = nullptr;
    for (const auto& t : set.tables)
        if (pathIsInside(scope, t->root) && (!best || t->root.size() > best->root.size()))
            best = t.get();
    return best;
}

} // namespace ovra::md
