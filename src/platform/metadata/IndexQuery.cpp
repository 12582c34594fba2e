#include "IndexQuery.h"

#include "../Background.h"
#include "../PathKey.h"
#include "../content/ContentIndex.h"
#include "TextPattern.h"

#include <algorithm>
#include <cmath>
#include <limits>
#include <mutex>
#include <thread>
#include <unordered_map>
#include <unordered_set>

namespace ovra::md {
namespace {

constexpr std::size_t kEntriesPerTask = 16384;

// The files whose words match each kMDItemTextContent pattern of one query,
// looked up once before the query runs, as (table, entry) keys.
using TextMatches = std::unordered_map<const TextPattern*, std::unordered_set<std::uint64_t>>;

std::uint64_t entryKey(std::uint32_t table, std::uint32_t entry)
{
    return (std::uint64_t(table) << 32) | entry;
}

// The pattern as the query wrote it between its quotes, escapes restored.
QString patternText(const TextPattern& pattern)
{
    QStringList pieces;
    for (QString piece : pattern.pieces())
        pieces << piece.replace(u'\\', QStringLiteral("\\\\")).replace(u'*', QStringLiteral("\\*"));
    return pieces.join(u'*');
}

struct Hit {
    double key;
    std::uint32_t table;
    std::uint32_t entry;
};

bool isTextSortKey(Attr attr)
{
    const AttrKind kind = attrKind(attr);
    return kind == AttrKind::Text || kind == AttrKind::TextList;
}

// What a query sees of one table entry. One view per thread: the strings it
// hands out live in its scratch buffers until the next call.
class EntryView final : public ItemAttributes {
public:
    explicit EntryView(const Table& table, std::uint32_t tableIndex = 0,
                       const TextMatches* textMatches = nullptr)
        : m_table(table)
        , m_tableIndex(tableIndex)
        , m_textMatches(textMatches)
    {
    }

    std::optional<bool> textContentMatches(const TextPattern& pattern) const override
    {
        if (!m_textMatches) return std::nullopt;
        const auto it = m_textMatches->find(&pattern);
        return it != m_textMatches->end() && it->second.count(entryKey(m_tableIndex, m_entry));
    }

    void set(std::uint32_t entry)
    {
        m_entry = entry;
        m_e = &m_table.entries[entry];
        m_x = m_table.extra(*m_e);
        m_hasPath = false;
    }

    bool number(Attr attr, double& out) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        switch (attr) {
        case Attr::FSSize: // a folder has no size of its own
            if (m_e->isFolder()) return false;
            out = double(m_e->size);
            return true;
        case Attr::FSContentChangeDate:
        case Attr::ContentModificationDate: out = m_e->modified; return true;
        case Attr::FSCreationDate: out = m_e->created; return true;
        case Attr::ContentCreationDate:
            out = (c && c->contentCreationDate) ? *c->contentCreationDate : m_e->created;
            return true;
        case Attr::LastUsedDate: out = m_table.lastUsed(m_entry); return !std::isnan(out);
        case Attr::IsScreenCapture:
            if (!(m_e->flags & IsScreenCapture)) return false;
            out = 1;
            return true;
        case Attr::PixelWidth: return optionalNumber(c ? c->pixelWidth : std::nullopt, out);
        case Attr::PixelHeight: return optionalNumber(c ? c->pixelHeight : std::nullopt, out);
        case Attr::DurationSeconds:
            return optionalNumber(c ? c->durationSeconds : std::nullopt, out);
        case Attr::NumberOfPages: return optionalNumber(c ? c->numberOfPages : std::nullopt, out);
        default: return false;
        }
    }

    bool text(Attr attr, std::string_view& out) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        switch (attr) {
        case Attr::FSName:
        case Attr::DisplayName: out = m_table.name(*m_e); return true;
        case Attr::Path: out = path(); return true;
        case Attr::ContentType: out = typeStrings().identifier; return true;
        case Attr::Title: return scratch(c ? c->title : std::nullopt, out);
        case Attr::Album: return scratch(c ? c->album : std::nullopt, out);
        case Attr::MusicalGenre: return scratch(c ? c->musicalGenre : std::nullopt, out);
        case Attr::AcquisitionMake: return scratch(c ? c->acquisitionMake : std::nullopt, out);
        case Attr::AcquisitionModel: return scratch(c ? c->acquisitionModel : std::nullopt, out);
        default: return false;
        }
    }

    bool anyText(Attr attr, const std::function<bool(std::string_view)>& visit,
                 bool& present) const override
    {
        const ContentAttributes* c = m_x ? &m_x->content : nullptr;
        auto visitList = [&](const QStringList& list) {
            present = !list.isEmpty();
            for (const QString& s : list) {
                m_scratch = toUtf8(s);
                if (visit(m_scratch)) return true;
            }
            return false;
        };
        switch (attr) {
        case Attr::ContentTypeTree: {
            const auto& tree = typeStrings().tree;
            present = !tree.empty();
            for (const std::string& id : tree)
                if (visit(id)) return true;
            return false;
        }
        case Attr::WhereFroms: {
            // Kept as UTF-8 with the table: nothing to convert for each file.
            const OriginCache::Origins* origins = m_table.originsOf(m_entry);
            present = origins != nullptr;
            if (origins)
                for (const std::string& address : origins->utf8)
                    if (visit(address)) return true;
            return false;
        }
        case Attr::Authors: return visitList((c && c->authors) ? *c->authors : QStringList());
        case Attr::Codecs: return visitList(c ? c->codecs : QStringList());
        default: {
            std::string_view single;
            present = text(attr, single);
            return present && visit(single);
        }
        }
    }

    UniformType contentType() const override { return UniformType::fromInternId(m_e->type); }

private:
    struct TypeStrings {
        std::string identifier;
        std::vector<std::string> tree;
    };

    template <typename T> static bool optionalNumber(const std::optional<T>& value, double& out)
    {
        if (!value) return false;
        out = double(*value);
        return true;
    }

    bool scratch(const std::optional<QString>& value, std::string_view& out) const
    {
        if (!value) return false;
        m_scratch = toUtf8(*value);
        out = m_scratch;
        return true;
    }

    std::string_view path() const
    {
        if (!m_hasPath) {
            m_path.clear();
            m_table.appendPath(m_entry, m_path);
            m_hasPath = true;
        }
        return m_path;
    }

    const TypeStrings& typeStrings() const
    {
        auto it = m_types.find(m_e->type);
        if (it == m_types.end()) {
            const UniformType type = UniformType::fromInternId(m_e->type);
            TypeStrings strings;
            strings.identifier = toUtf8(type.identifier());
            for (const QString& id : type.tree())
                strings.tree.push_back(toUtf8(id));
            it = m_types.emplace(m_e->type, std::move(strings)).first;
        }
        return it->second;
    }

    const Table& m_table;
    std::uint32_t m_tableIndex = 0;
    const TextMatches* m_textMatches = nullptr;
    std::uint32_t m_entry = 0;
    const Entry* m_e = nullptr;
    const Extra* m_x = nullptr;
    mutable std::string m_path;
    mutable bool m_hasPath = false;
    mutable std::string m_scratch;
    mutable std::unordered_map<std::uint16_t, TypeStrings> m_types;
};

// A run of entries [begin, end) of one table.
struct EntryRange {
    std::uint32_t table;
    std::uint32_t begin;
    std::uint32_t end;
};

// The entries below a folder entry, as the runs of each folder's children: a
// query over one folder reads only its own part of the table.
void addRangesBelow(const Table& table, std::uint32_t tableIndex, std::uint32_t folderEntry,
                    std::vector<EntryRange>& ranges)
{
    table.forEachRunBelow(folderEntry, [&](std::uint32_t begin, std::uint32_t end) {
        ranges.push_back({tableIndex, begin, end});
    });
}

// Splits the ranges into pieces of about equal size, one per thread (at most
// `threads`), and runs fn(pieces) for each on its own thread.
template <typename Fn>
void parallelForRanges(const std::vector<EntryRange>& ranges, int threads, Fn fn)
{
    std::size_t count = 0;
    for (const EntryRange& r : ranges)
        count += r.end - r.begin;
    const std::size_t tasks = std::max<std::size_t>(
        1, std::min<std::size_t>(std::size_t(std::max(threads, 1)),
                                 (count + kEntriesPerTask - 1) / kEntriesPerTask));
    const std::size_t per = (count + tasks - 1) / tasks;
    std::vector<std::vector<EntryRange>> pieces(tasks);
    std::size_t filled = 0; // entries handed out so far
    for (const EntryRange& r : ranges) {
        for (std::uint32_t at = r.begin; at < r.end;) {
            const std::size_t task = std::min(tasks - 1, filled / std::max<std::size_t>(per, 1));
            const std::size_t room = (task + 1) * per - filled;
            const std::uint32_t end =
                std::uint32_t(std::min<std::size_t>(r.end, at + std::max<std::size_t>(room, 1)));
            pieces[task].push_back({r.table, at, end});
            filled += end - at;
            at = end;
        }
    }
    background::forEach(int(tasks), qsizetype(tasks), [&](qsizetype task) {
        if (!pieces[std::size_t(task)].empty()) fn(pieces[std::size_t(task)]);
    });
}

template <typename Less> void parallelSort(std::vector<Hit>& hits, int threads, Less less)
{
    const std::size_t parts =
        std::min<std::size_t>(std::size_t(std::max(threads, 1)), hits.size() / 32768 + 1);
    if (parts <= 1) {
        std::sort(hits.begin(), hits.end(), less);
        return;
    }
    const std::size_t per = (hits.size() + parts - 1) / parts;
    background::forEach(int(parts), qsizetype(parts), [&](qsizetype part) {
        const std::size_t begin = std::min(hits.size(), std::size_t(part) * per),
                          end = std::min(hits.size(), begin + per);
        std::sort(hits.begin() + long(begin), hits.begin() + long(end), less);
    });
    for (std::size_t width = per; width < hits.size(); width *= 2) {
        for (std::size_t begin = 0; begin + width < hits.size(); begin += 2 * width) {
            const std::size_t middle = begin + width,
                              end = std::min(hits.size(), begin + 2 * width);
            std::inplace_merge(hits.begin() + long(begin), hits.begin() + long(middle),
                               hits.begin() + long(end), less);
        }
    }
}

} // namespace

Item itemFromEntry(const Table& table, std::uint32_t entry, bool complete)
{
    const Entry& e = table.entries[entry];
    Item item;
    item.path = table.path(entry);
    const std::string_view name = table.name(e);
    item.fsName = QString::fromUtf8(name.data(), qsizetype(name.size()));
    if (!e.isFolder()) item.fsSize = e.size;
    item.contentChangeDate = e.modified;
    item.creationDate = e.created;
    item.contentCreationDate = e.created;
    const double used = table.lastUsed(entry);
    if (!std::isnan(used)) item.lastUsedDate = used;
    const UniformType type = UniformType::fromInternId(e.type);
    if (type.isValid()) {
        item.uniformType = type;
        // The identifier's text is one string shared by every file of the type:
        // copying it from many threads at once fights over its reference count.
        if (complete) {
            item.contentType = type.identifier();
            item.contentTypeTree = type.tree();
        }
    }
    item.isScreenCapture = e.flags & IsScreenCapture;
    if (complete) item.whereFroms = table.whereFroms(entry);
    item.device = e.device;
    item.inode = e.inode;
    item.handle = e.handle;
    item.isDirectory = e.isFolder();
    if (const Extra* x = table.extra(e)) applyContent(item, x->content);
    return item;
}

struct MetadataIndex::Results::Data {
    std::shared_ptr<const TableSet> state;
    std::vector<Hit> hits;
};

MetadataIndex::Results::Results() = default;
MetadataIndex::Results::~Results() = default;
MetadataIndex::Results::Results(Results&&) noexcept = default;
MetadataIndex::Results& MetadataIndex::Results::operator=(Results&&) noexcept = default;

std::size_t MetadataIndex::Results::count() const
{
    return m_data ? m_data->hits.size() : 0;
}

QString MetadataIndex::Results::path(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->path(h.entry);
}

std::int64_t MetadataIndex::Results::fileSize(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    const Entry& e = m_data->state->tables[h.table]->entries[h.entry];
    return e.isFolder() ? 0 : e.size;
}

bool MetadataIndex::Results::isNoise(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->entries[h.entry].flags & IsNoise;
}

UniformType MetadataIndex::Results::contentType(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return UniformType::fromInternId(m_data->state->tables[h.table]->entries[h.entry].type);
}

std::vector<std::size_t> MetadataIndex::Results::firstInOrder(std::vector<std::size_t> indices,
                                                              std::size_t count) const
{
    count = std::min(count, indices.size());
    if (!m_data) return {};
    const std::vector<Hit>& hits = m_data->hits;
    // Ordered results are in order by position; otherwise by key, ties by place
    // in the table, exactly as a full sort would have put them.
    auto less = [&](std::size_t a, std::size_t b) {
        if (m_ordered) return a < b;
        const Hit& x = hits[a];
        const Hit& y = hits[b];
        if (x.key != y.key) return x.key > y.key;
        return x.table != y.table ? x.table < y.table : x.entry < y.entry;
    };
    std::partial_sort(indices.begin(), indices.begin() + long(count), indices.end(), less);
    indices.resize(count);
    return indices;
}

QStringList MetadataIndex::Results::whereFroms(std::size_t i) const
{
    const Hit& h = m_data->hits[i];
    return m_data->state->tables[h.table]->whereFroms(h.entry);
}

Item MetadataIndex::Results::item(std::size_t i, bool complete) const
{
    const Hit& h = m_data->hits[i];
    return itemFromEntry(*m_data->state->tables[h.table], h.entry, complete);
}

namespace {

// Each scope as (table, folder entry or the whole table); a scope inside
// another one asked for in the same query is not searched twice.
struct Target {
    std::uint32_t table;
    std::uint32_t folder; // kNone: the whole table
    QString scope;
};

std::vector<Target> targetsOf(const TableSet& set, const QStringList& scopes)
{
    std::vector<Target> targets;
    QStringList keys;
    for (const QString& s : scopes) {
        const QString k = pathKey(s);
        if (!k.isEmpty() && !keys.contains(k)) keys << k;
    }
    for (const QString& k : keys) {
        bool inner = false;
        for (const QString& o : keys)
            if (o != k && pathIsInside(k, o)) inner = true;
        if (inner) continue;
        for (std::uint32_t t = 0; t < set.tables.size(); ++t) {
            const Table& table = *set.tables[t];
            if (table.rootFolder == kNone || !pathIsInside(k, table.root)) continue;
            if (k == table.root) {
                targets.push_back({t, kNone, k});
            } else {
                const std::uint32_t folder = table.find(toUtf8(k));
                if (folder != kNone && table.entries[folder].isFolder())
                    targets.push_back({t, folder, k});
            }
            break;
        }
    }
    return targets;
}

// Every scope's part of every table, for one pass: the threads are shared out
// once, not once per scope.
std::vector<EntryRange> rangesOf(const TableSet& set, const std::vector<Target>& targets)
{
    std::vector<EntryRange> ranges;
    for (const Target& target : targets) {
        const Table& table = *set.tables[target.table];
        if (target.folder == kNone)
            ranges.push_back({target.table, 0, std::uint32_t(table.entries.size())});
        else
            addRangesBelow(table, target.table, target.folder, ranges);
    }
    return ranges;
}

bool readsWords(const Query& query)
{
    return query.referencedAttributes() & (std::uint64_t(1) << unsigned(Attr::TextContent));
}

TextMatches matchWords(const Query& query, const TableSet& set, content::ContentIndex& index)
{
    TextMatches textMatches;
    query.forEachTextContentPattern([&](const TextPattern& pattern) {
        auto& keys = textMatches[&pattern];
        const std::uint8_t o = pattern.options();
        const QSet<QString> paths =
            index.matchingPaths(patternText(pattern), o & TextPattern::CaseInsensitive,
                                o & TextPattern::DiacriticInsensitive, o & TextPattern::WordBased);
        for (const QString& path : paths) {
            const std::string utf8 = toUtf8(path);
            for (std::uint32_t t = 0; t < set.tables.size(); ++t) {
                const std::uint32_t entry = set.tables[t]->find(utf8);
                if (entry != kNone) keys.insert(entryKey(t, entry));
            }
        }
    });
    return textMatches;
}

// What the pass over the entries asks of each.
struct Pass {
    const Query& query;
    std::optional<Attr> sortKey;
    bool textKey; // the key is read when ordering, not during the pass
    const TextMatches* words;
    const std::function<bool()>& isCancelled;
};

// The matching entries of the ranges, one list per thread.
std::vector<std::vector<Hit>> evaluate(const TableSet& set, const std::vector<EntryRange>& ranges,
                                       int threads, const Pass& pass)
{
    std::vector<std::vector<Hit>> perTask;
    std::mutex perTaskMutex;
    const Query& query = pass.query;
    const std::optional<Attr> sortKey = pass.sortKey;
    const bool textKey = pass.textKey;
    const std::function<bool()>& isCancelled = pass.isCancelled;
    parallelForRanges(ranges, threads, [&](const std::vector<EntryRange>& pieces) {
        std::vector<std::unique_ptr<EntryView>> views(set.tables.size());
        // Room for every entry of its pieces at once: the list never moves as it
        // grows (a query over everything keeps a million hits).
        std::vector<Hit> hits;
        std::size_t room = 0;
        for (const EntryRange& piece : pieces)
            room += piece.end - piece.begin;
        hits.reserve(room);
        std::size_t seen = 0;
        for (const EntryRange& piece : pieces) {
            std::unique_ptr<EntryView>& view = views[piece.table];
            if (!view)
                view =
                    std::make_unique<EntryView>(*set.tables[piece.table], piece.table, pass.words);
            for (std::uint32_t i = piece.begin; i < piece.end; ++i) {
                if ((++seen & 4095) == 0 && isCancelled && isCancelled()) return;
                view->set(i);
                if (!query.matches(*view)) continue;
                double key = -std::numeric_limits<double>::infinity();
                if (sortKey && !textKey) {
                    double v;
                    if (view->number(*sortKey, v) && !std::isnan(v)) key = v;
                }
                hits.push_back({key, piece.table, i});
            }
        }
        std::lock_guard lock(perTaskMutex);
        perTask.push_back(std::move(hits));
    });
    return perTask;
}

// The threads' lists as one: the longest becomes the answer's, the others join
// it. Answers the count of hits.
std::size_t joinHits(std::vector<std::vector<Hit>> perTask, std::vector<Hit>& hits)
{
    std::size_t total = 0;
    for (const auto& v : perTask)
        total += v.size();
    std::sort(perTask.begin(), perTask.end(),
              [](const auto& a, const auto& b) { return a.size() > b.size(); });
    if (!perTask.empty()) hits = std::move(perTask.front());
    hits.reserve(total);
    for (std::size_t t = 1; t < perTask.size(); ++t)
        hits.insert(hits.end(), perTask[t].begin(), perTask[t].end());
    return total;
}

// Ties (and every file when there is no sort key) keep the table's order, so
// the same query over the same table always answers in the same order.
bool tieBreak(const Hit& a, const Hit& b)
{
    return a.table != b.table ? a.table < b.table : a.entry < b.entry;
}

// Numbers compare inline: the cut of a million matches makes millions of
// comparisons.
struct NumberLess {
    bool operator()(const Hit& a, const Hit& b) const
    {
        return a.key != b.key ? a.key > b.key : tieBreak(a, b);
    }
};

// Texts descending, files without the attribute last.
std::function<bool(const Hit&, const Hit&)> textLess(const TableSet& set, Attr attr)
{
    return [&set, attr](const Hit& a, const Hit& b) {
        thread_local std::string sa, sb;
        auto read = [&](const Hit& h, std::string& out) {
            const Table& t = *set.tables[h.table];
            if (attr == Attr::FSName || attr == Attr::DisplayName) {
                out.assign(t.name(h.entry));
                return true;
            }
            EntryView view(t);
            view.set(h.entry);
            std::string_view v;
            if (!view.text(attr, v)) return false;
            out.assign(v);
            return true;
        };
        const bool ha = read(a, sa), hb = read(b, sb);
        if (ha != hb) return ha;
        if (!ha) return tieBreak(a, b);
        const int c = QString::compare(QString::fromUtf8(sa.data(), qsizetype(sa.size())),
                                       QString::fromUtf8(sb.data(), qsizetype(sb.size())),
                                       Qt::CaseInsensitive);
        return c != 0 ? c > 0 : tieBreak(a, b);
    };
}

template <typename Less>
void cutAndOrder(std::vector<Hit>& hits, std::size_t maxResults, bool order, int threads,
                 const Less& less)
{
    if (hits.size() > maxResults) {
        std::nth_element(hits.begin(), hits.begin() + long(maxResults), hits.end(), less);
        hits.resize(maxResults);
    }
    if (order) parallelSort(hits, threads, less);
}

} // namespace

IndexQuery::IndexQuery(std::shared_ptr<const TableSet> tables, int threads,
                       content::ContentIndex* contentIndex)
    : m_tables(std::move(tables))
    , m_threads(threads)
    , m_contentIndex(contentIndex)
{
}

MetadataIndex::Results IndexQuery::run(const Query& query, const QStringList& scopes,
                                       std::optional<Attr> sortKey, std::size_t maxResults,
                                       const std::function<bool()>& isCancelled, bool ordered) const
{
    MetadataIndex::Results results;
    const TableSet& set = *m_tables;
    const bool withWords = readsWords(query) && m_contentIndex;
    const TextMatches textMatches =
        withWords ? matchWords(query, set, *m_contentIndex) : TextMatches();
    const bool textKey = sortKey && isTextSortKey(*sortKey);
    std::vector<std::vector<Hit>> perTask =
        evaluate(set, rangesOf(set, targetsOf(set, scopes)), m_threads,
                 {query, sortKey, textKey, withWords ? &textMatches : nullptr, isCancelled});
    if (isCancelled && isCancelled()) return results;

    auto data = std::make_unique<MetadataIndex::Results::Data>();
    std::size_t total = joinHits(std::move(perTask), data->hits);
    if (const ForgottenEntries forgotten(set); !forgotten.isEmpty()) {
        std::erase_if(data->hits,
                      [&](const Hit& hit) { return forgotten.contains(hit.table, hit.entry); });
        total = data->hits.size();
    }
    data->state = m_tables;
    // Numbers order cheaply later, for just the results a caller lists; texts
    // are ordered here.
    results.m_ordered = ordered || textKey;
    if (textKey)
        cutAndOrder(data->hits, maxResults, results.m_ordered, m_threads, textLess(set, *sortKey));
    else
        cutAndOrder(data->hits, maxResults, results.m_ordered, m_threads, NumberLess());
    results.m_totalMatches = total;
    results.m_data = std::move(data);
    return results;
}

} // namespace ovra::md
