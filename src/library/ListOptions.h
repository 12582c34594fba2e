#pragma once

#include "FileCategory.h"
#include "FileItem.h"
#include "ViewOptions.h"

#include <QDateTime>
#include <QList>
#include <QString>

#include <functional>
#include <optional>

namespace ovra {

// The download source's name of a file; none when it has no known origin.
// Lookups run on pool threads, so each must be safe to call there.
using SourceLookup = std::function<std::optional<QString>(const FileItem&)>;
// The lookup through the download-source classifier, uncached: for gathering
// a list's sources once. It reads the file's extended attributes: never call
// it on the GUI thread.
SourceLookup downloadSourceLookup();

// The list filters and the sort order at one moment: a plain value that work
// on a pool thread can hold while the state itself moves on.
struct ListOptions {
    std::optional<FileCategory> kindFilter;
    DateFilter dateFilter = DateFilter::any;
    SizeFilter sizeFilter = SizeFilter::any;
    std::optional<QString> sourceFilter;
    SortKey sortKey = SortKey::date;
    bool ascending = false;
    QDateTime now; // what the date filter counts back from

    // Whether any of the four list filters is set.
    bool filtersActive() const;
};

// The items that pass every filter of `options`, in their given order; the
// list itself when none is set. Without a lookup, no file has a source.
QList<FileItem> applyFilters(const QList<FileItem>& items, const ListOptions& options,
                             const SourceLookup& lookup);
// The items in the order of `options` (a stable sort); with `foldersFirst` the
// folders come first, each part in that order.
QList<FileItem> sortItems(const QList<FileItem>& items, const ListOptions& options,
                          bool foldersFirst);

// The smallest size a file must have to pass the size filter; 0 for `any`.
qint64 minimumSize(SizeFilter filter);

} // namespace ovra
