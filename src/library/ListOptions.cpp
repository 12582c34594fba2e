#include "ListOptions.h"

#include "cleanup_model/DownloadSource.h"
#include "platform/Background.h"

#include <QCollator>
#include <QCollatorSortKey>
#include <QLocale>

#include <algorithm>
#include <iterator>
#include <numeric>
#include <vector>

namespace ovra {

namespace {

// File names in the order a file manager lists them: by the user's locale,
// letter case aside, runs of digits by their value ("2" before "10"). The C
// locale has no such collation (Qt then compares code units), so it reads
// names as the root collation does.
QCollator fileNameCollator()
{
    QLocale locale;
    if (locale.language() == QLocale::C) locale = QLocale(QLocale::English);
    QCollator collator(locale);
    collator.setCaseSensitivity(Qt::CaseInsensitive);
    collator.setNumericMode(true);
    return collator;
}

// Kind texts order by Unicode scalar values of their composed form, whatever the
// locale, so canonically equivalent texts are equal.
QList<uint> scalarKey(const QString& text)
{
    return text.normalized(QString::NormalizationForm_C).toUcs4();
}

int compareScalars(const QList<uint>& a, const QList<uint>& b)
{
    const auto order =
        std::lexicographical_compare_three_way(a.begin(), a.end(), b.begin(), b.end());
    return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

bool isFolder(const FileItem& item)
{
    return item.category == FileCategory::folders;
}

constexpr qsizetype kKeysPerChunk = 4096;

// The names' collation keys, the costly part of a sort by name: a long list's
// are made a chunk at a time on a thread per core, each chunk with a collator
// of its own, since one collator is not safe to use from several threads.
std::vector<QCollatorSortKey> nameKeys(const QList<FileItem>& items)
{
    const auto keysOf = [&items](qsizetype from, qsizetype to) {
        const QCollator collator = fileNameCollator();
        std::vector<QCollatorSortKey> keys;
        keys.reserve(std::size_t(to - from));
        for (qsizetype i = from; i < to; ++i)
            keys.push_back(collator.sortKey(items[i].name));
        return keys;
    };
    if (items.size() <= kKeysPerChunk) return keysOf(0, items.size());

    const qsizetype chunkCount = (items.size() + kKeysPerChunk - 1) / kKeysPerChunk;
    std::vector<std::vector<QCollatorSortKey>> chunks(static_cast<std::size_t>(chunkCount));
    background::forEach(0, chunkCount, [&](qsizetype chunk) {
        const qsizetype from = chunk * kKeysPerChunk;
        chunks[std::size_t(chunk)] = keysOf(from, std::min(items.size(), from + kKeysPerChunk));
    });
    std::vector<QCollatorSortKey> keys;
    keys.reserve(std::size_t(items.size()));
    for (auto& chunk : chunks)
        std::move(chunk.begin(), chunk.end(), std::back_inserter(keys));
    return keys;
}

} // namespace

qint64 minimumSize(SizeFilter filter)
{
    switch (filter) {
    case SizeFilter::any: return 0;
    case SizeFilter::mb1: return 1'000'000;
    case SizeFilter::mb10: return 10'000'000;
    case SizeFilter::mb100: return 100'000'000;
    case SizeFilter::gb1: return 1'000'000'000;
    }
    return 0;
}

SourceLookup downloadSourceLookup()
{
    // Not through the classifier's cache: its callers gather a whole list's
    // sources into a table of their own, once per list, and a list longer than
    // the cache would only churn it (each answer stored, then evicted by a
    // later one), under a lock the gathering threads take turns at.
    return [](const FileItem& item) -> std::optional<QString> {
        const std::optional<DownloadSource> source =
            DownloadSources::classify(DownloadSources::whereFroms(item.path));
        if (!source) return std::nullopt;
        return source->name;
    };
}

bool ListOptions::filtersActive() const
{
    return kindFilter || dateFilter != DateFilter::any || sizeFilter != SizeFilter::any ||
           sourceFilter;
}

QList<FileItem> applyFilters(const QList<FileItem>& items, const ListOptions& options,
                             const SourceLookup& lookup)
{
    if (!options.filtersActive()) return items;

    const std::optional<double> dateCutoff = cutoff(options.dateFilter, options.now);
    const qint64 minSize = minimumSize(options.sizeFilter);

    const auto passes = [&](const FileItem& item) {
        if (options.kindFilter && item.category != *options.kindFilter) return false;
        if (dateCutoff && item.modified < *dateCutoff) return false;
        // A folder's size says nothing about its contents, so a size filter
        // leaves no folder in.
        if (minSize >= 1 && (isFolder(item) || item.size < minSize)) return false;
        if (options.sourceFilter) {
            if (isFolder(item) || !lookup) return false;
            const std::optional<QString> source = lookup(item);
            if (!source || *source != *options.sourceFilter) return false;
        }
        return true;
    };

    // The survivors are counted before they are copied: a list grown item by
    // item copies every item again at each doubling.
    std::vector<qsizetype> survivors;
    for (qsizetype i = 0; i < items.size(); ++i)
        if (passes(items[i])) survivors.push_back(i);
    QList<FileItem> kept;
    kept.reserve(qsizetype(survivors.size()));
    for (qsizetype i : survivors)
        kept.append(items[i]);
    return kept;
}

QList<FileItem> sortItems(const QList<FileItem>& items, const ListOptions& options,
                          bool foldersFirst)
{
    const bool up = options.ascending;
    const SortKey key = options.sortKey;

    // Sort keys are derived once per item, not at each comparison: collation and
    // kind descriptions are the costly part.
    std::vector<QCollatorSortKey> names;
    std::vector<QList<uint>> kinds;
    if (key == SortKey::name || key == SortKey::kind) names = nameKeys(items);
    if (key == SortKey::kind) {
        kinds.reserve(items.size());
        for (const FileItem& item : items)
            kinds.push_back(scalarKey(item.kindDescription()));
    }

    const auto before = [&](qsizetype a, qsizetype b) {
        const FileItem& x = items[a];
        const FileItem& y = items[b];
        switch (key) {
        case SortKey::name: {
            const int order = names[a].compare(names[b]);
            return up ? order < 0 : order > 0;
        }
        case SortKey::date: return up ? x.modified < y.modified : x.modified > y.modified;
        case SortKey::size: return up ? x.size < y.size : x.size > y.size;
        case SortKey::kind: {
            const int order = compareScalars(kinds[a], kinds[b]);
            // Within one kind, names always read A to Z.
            if (order == 0) return names[a].compare(names[b]) < 0;
            return up ? order < 0 : order > 0;
        }
        }
        return false;
    };

    std::vector<qsizetype> order(items.size());
    std::iota(order.begin(), order.end(), 0);
    std::stable_sort(order.begin(), order.end(), before);
    if (foldersFirst) {
        std::stable_partition(order.begin(), order.end(),
                              [&](qsizetype i) { return isFolder(items[i]); });
    }

    QList<FileItem> sorted;
    sorted.reserve(items.size());
    for (qsizetype i : order)
        sorted.append(items[i]);
    return sorted;
}

} // namespace ovra
