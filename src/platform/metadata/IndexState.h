#pragma once

#include "../PathKey.h"
#include "IndexTable.h"

#include <QString>
#include <QStringList>

#include <cstddef>
#include <cstdint>
#include <memory>
#include <mutex>
#include <string>
#include <unordered_set>
#include <vector>

namespace ovra::md {

// A path that left its folder (moved to the Trash) while a table may still
// hold it: one listed before the move, or one a walk under way at the move
// publishes afterwards.
struct ForgottenPath {
    QString path;           // its path key
    std::string utf8;       // the same, as the tables are searched
    std::uint64_t sequence; // how many paths had been forgotten, this one included
};

// Every table of the index at one moment. Never changed once published: a walk
// or refresh makes a new set, and a query keeps the one it started with.
struct TableSet {
    std::vector<std::shared_ptr<const Table>> tables;
    // Paths no query answers, with whatever lies below them, though a table
    // here may still hold them. Null when there are none.
    std::shared_ptr<const std::vector<ForgottenPath>> forgotten;
};

// Folders listed again on purpose by one change, and how many paths had been
// forgotten when their listing began: what they show is the disk after those
// moves. Nothing by default.
struct Relisted {
    bool everything = false;                                  // every folder of every table
    const std::unordered_set<std::string>* folders = nullptr; // else these
    std::uint64_t forgottenBefore = 0;
};

// The set the next query reads, and the count of file reads that made it. It
// also keeps the paths forgotten since the tables were listed, so that a move
// to the Trash takes effect at once, without waiting for a walk or a refresh
// to list the folder again.
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

    // Makes `next` the set queries read. A forgotten path stays forgotten while
    // a table of `next` that was listed before it was forgotten may hold it, or
    // while a walk under way may list it; `relisted` names folders whose
    // listing showed the disk after the paths it covers were forgotten.
    void publish(std::shared_ptr<TableSet> next, std::size_t contentReads,
                 const Relisted& relisted = {});
    // From now on no query answers these paths (path keys) or what lies below
    // them. Never waits for a walk: it holds only the lock of this set. Answers
    // how many paths have been forgotten so far.
    std::uint64_t forget(const QStringList& paths);
    std::uint64_t forgottenCount() const;

    // The scopes a first walk is listing now, which no table covers yet: a
    // path forgotten there is kept from the table that walk publishes.
    void setWalking(QStringList roots);

    std::size_t contentReads() const
    {
        std::lock_guard lock(m_mutex);
        return m_contentReads;
    }

private:
    bool mayStillHold(const TableSet& set, const ForgottenPath& forgotten,
                      const Relisted& relisted) const;

    mutable std::mutex m_mutex;
    std::shared_ptr<const TableSet> m_tables = std::make_shared<TableSet>();
    std::size_t m_contentReads = 0;
    std::uint64_t m_forgottenCount = 0;
    QStringList m_walking;
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

// The entries of a set that forgotten paths name, with everything below them.
// Empty, and free to ask, when nothing is forgotten.
class ForgottenEntries {
public:
    explicit ForgottenEntries(const TableSet& set);

    bool isEmpty() const { return m_tables.empty(); }
    bool contains(std::uint32_t table, std::uint32_t entry) const;

private:
    struct Run {
        std::uint32_t begin;
        std::uint32_t end;
        friend bool operator<(const Run& a, const Run& b) { return a.begin < b.begin; }
    };
    struct OfTable {
        bool whole = false;    // the scope's own folder was forgotten
        std::vector<Run> runs; // sorted, apart from each other
    };
    std::vector<OfTable> m_tables; // by table; empty when nothing is forgotten
};

} // namespace ovra::md
