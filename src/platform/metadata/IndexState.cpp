#include "IndexState.h"

#include <algorithm>
#include <string_view>

namespace ovra::md {
namespace {

std::string_view parentOf(std::string_view path)
{
    const std::size_t slash = path.rfind('/');
    if (slash == std::string_view::npos) return {};
    return slash == 0 ? path.substr(0, 1) : path.substr(0, slash);
}

bool related(const QString& path, const QString& root)
{
    return pathIsInside(path, root) || pathIsInside(root, path);
}

} // namespace

bool CurrentTables::mayStillHold(const TableSet& set, const ForgottenPath& forgotten,
                                 const Relisted& relisted) const
{
    // Its folder listed again after the move shows the disk as it is: a file
    // put back there since is the user's again.
    if (forgotten.sequence <= relisted.forgottenBefore &&
        (relisted.everything ||
         (relisted.folders && relisted.folders->contains(std::string(parentOf(forgotten.utf8))))))
        return false;
    bool relatedTable = false;
    for (const auto& table : set.tables) {
        if (!related(forgotten.path, table->root)) continue;
        if (table->listedSince < forgotten.sequence) return true;
        relatedTable = true;
    }
    if (relatedTable) return false;
    return std::any_of(m_walking.begin(), m_walking.end(),
                       [&](const QString& root) { return related(forgotten.path, root); });
}

void CurrentTables::publish(std::shared_ptr<TableSet> next, std::size_t contentReads,
                            const Relisted& relisted)
{
    std::lock_guard lock(m_mutex);
    next->forgotten.reset();
    if (const auto& forgotten = m_tables->forgotten) {
        auto kept = std::make_shared<std::vector<ForgottenPath>>();
        for (const ForgottenPath& f : *forgotten)
            if (mayStillHold(*next, f, relisted)) kept->push_back(f);
        if (!kept->empty()) next->forgotten = std::move(kept);
    }
    m_tables = std::move(next);
    m_contentReads += contentReads;
}

std::uint64_t CurrentTables::forget(const QStringList& paths)
{
    std::lock_guard lock(m_mutex);
    auto forgotten = m_tables->forgotten
                         ? std::make_shared<std::vector<ForgottenPath>>(*m_tables->forgotten)
                         : std::make_shared<std::vector<ForgottenPath>>();
    bool added = false;
    for (const QString& raw : paths) {
        const QString path = pathKey(raw);
        if (path.isEmpty()) continue;
        // A path no table or walk will ever hold needs no forgetting.
        const auto holds = [&](const auto& table) { return related(path, table->root); };
        const auto walks = [&](const QString& root) { return related(path, root); };
        if (std::none_of(m_tables->tables.begin(), m_tables->tables.end(), holds) &&
            std::none_of(m_walking.begin(), m_walking.end(), walks))
            continue;
        std::erase_if(*forgotten, [&](const ForgottenPath& f) { return f.path == path; });
        forgotten->push_back({path, toUtf8(path), ++m_forgottenCount});
        added = true;
    }
    if (added) {
        auto next = std::make_shared<TableSet>();
        next->tables = m_tables->tables;
        next->forgotten = std::move(forgotten);
        m_tables = std::move(next);
    }
    return m_forgottenCount;
}

std::uint64_t CurrentTables::forgottenCount() const
{
    std::lock_guard lock(m_mutex);
    return m_forgottenCount;
}

void CurrentTables::setWalking(QStringList roots)
{
    std::lock_guard lock(m_mutex);
    m_walking = std::move(roots);
}

ForgottenEntries::ForgottenEntries(const TableSet& set)
{
    if (!set.forgotten || set.forgotten->empty()) return;
    m_tables.resize(set.tables.size());
    for (const ForgottenPath& forgotten : *set.forgotten) {
        for (std::uint32_t t = 0; t < set.tables.size(); ++t) {
            const Table& table = *set.tables[t];
            OfTable& of = m_tables[t];
            if (pathIsInside(table.root, forgotten.path)) {
                of.whole = true;
                continue;
            }
            if (!pathIsInside(forgotten.path, table.root)) continue;
            const std::uint32_t entry = table.find(forgotten.utf8);
            if (entry == kNone) continue;
            of.runs.push_back({entry, entry + 1});
            if (table.entries[entry].isFolder())
                table.forEachRunBelow(entry, [&](std::uint32_t begin, std::uint32_t end) {
                    of.runs.push_back({begin, end});
                });
        }
    }
    // Sorted and joined where they meet, so one search finds the run an entry is in.
    for (OfTable& of : m_tables) {
        std::sort(of.runs.begin(), of.runs.end());
        std::vector<Run> joined;
        for (const Run& run : of.runs) {
            if (!joined.empty() && run.begin <= joined.back().end)
                joined.back().end = std::max(joined.back().end, run.end);
            else
                joined.push_back(run);
        }
        of.runs = std::move(joined);
    }
}

bool ForgottenEntries::contains(std::uint32_t table, std::uint32_t entry) const
{
    if (table >= m_tables.size()) return false;
    const OfTable& of = m_tables[table];
    if (of.whole) return true;
    const auto after = std::upper_bound(of.runs.begin(), of.runs.end(), Run{entry, entry});
    return after != of.runs.begin() && entry < std::prev(after)->end;
}

} // namespace ovra::md
