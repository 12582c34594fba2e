#pragma once

#include "../UniformType.h"
#include "Attribute.h"

#include <QString>
#include <QStringList>
#include <QVariant>

#include <cstdint>
#include <optional>

namespace ovra::md {

struct ContentAttributes;

// Everything the index knows of one file, as a plain value: what a query result
// or a single-file lookup hands to the rest of the app. Absent attributes are
// empty optionals (or empty lists). Dates are seconds since 1970.
struct Item {
    QString path;
    std::optional<QString> fsName;
    std::optional<std::int64_t> fsSize;
    std::optional<double> contentChangeDate;
    std::optional<double> creationDate;
    std::optional<double> contentCreationDate;
    std::optional<double> lastUsedDate;
    std::optional<QString> contentType;
    // The same type as a handle, when the index knows it: saves every reader a
    // look-up by identifier.
    UniformType uniformType;
    QStringList contentTypeTree;
    bool isScreenCapture = false;
    QStringList whereFroms;
    std::optional<int> pixelWidth;
    std::optional<int> pixelHeight;
    std::optional<double> durationSeconds;
    std::optional<QString> title;
    std::optional<QStringList> authors;
    std::optional<QString> album;
    std::optional<QString> musicalGenre;
    QStringList codecs;
    std::optional<int> numberOfPages;
    std::optional<QString> acquisitionMake;
    std::optional<QString> acquisitionModel;
    // Identity of the file on disk, so hard links count as one file.
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    // Where the file system keeps no birth time, `entryHandleDigest`: what tells
    // the file from one made again on the inode it freed.
    std::uint32_t handle = 0;
    bool isDirectory = false;

    // The generic read, standing in for MDItemCopyAttribute: text as QString, lists
    // as QStringList, numbers as qint64 or double, dates as double seconds; an
    // invalid QVariant when absent.
    QVariant value(Attr attr) const;

    friend bool operator==(const Item&, const Item&) = default;
};

// Takes what a read of the file's content told into the item. A date the
// content tells replaces the file system's creation date; one it does not tell
// leaves it.
void applyContent(Item& item, const ContentAttributes& content);

} // namespace ovra::md
