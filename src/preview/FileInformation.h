#pragma once

#include "cleanup_model/DownloadSource.h"
#include "library/FileItem.h"
#include "platform/metadata/Item.h"

#include <QFuture>
#include <QList>
#include <QString>

#include <optional>

namespace ovra {

namespace md {
class MetadataIndex;
}

// One line of the inspector's "Information".
struct DetailRow {
    QString label;
    QString value; // may hold a line break
    friend bool operator==(const DetailRow&, const DetailRow&) = default;
};

namespace Metadata {

// What the rows are made from beyond the item itself, read on a pool thread.
struct Facts {
    std::optional<md::Item> record; // the index's attributes of the file
    int folderEntries = 0;          // visible entries, for a folder
    std::optional<DownloadSource> source;
};

// Reads the facts of one file: its attributes from the index (or from the file
// itself without one), a folder's entries, the download source. Blocks.
Facts readFacts(const FileItem& item, md::MetadataIndex* index);

// The rows in their fixed order, each only when its value is known and not
// empty. `home` is the home folder's path. Pure.
QList<DetailRow> details(const FileItem& item, const Facts& facts, const QString& home);

// The rows and the download source the inspector shows, read on the
// preview's threads.
struct Loaded {
    QList<DetailRow> rows;
    std::optional<DownloadSource> source;
};
QFuture<Loaded> load(const FileItem& item, md::MetadataIndex* index);

} // namespace Metadata

} // namespace ovra
