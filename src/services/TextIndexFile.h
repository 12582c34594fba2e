#pragma once

#include "TextIndexEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

namespace ovra {

// The text index on disk: a binary file of its own, checked as a whole, which
// loads a large index in a fraction of the time JSON takes; and the JSON file
// earlier versions kept, read once so that its entries carry over.
namespace TextIndexFile {

struct Loaded {
    TextIndexEntries entries;
    // Files that hold something this reader cannot use. Each may be the user's
    // only copy of a large index (a disk error, an editor's mistake): it is
    // moved aside before the first save rather than overwritten.
    QStringList unreadable;
    // The entries came from the earlier JSON file: they are saved in the binary
    // file at once, and the JSON file goes once they are.
    bool isFromEarlierFile = false;
};

// The binary file when it is there and whole, else the earlier file.
Loaded read(const QString& file, const QString& earlierFile);

// The earlier JSON file, an object keyed by path: entries that are damaged are
// dropped one by one and the rest kept. A file that does not parse, or holds
// entries but not one usable, is unreadable.
Loaded readEarlier(const QString& earlierFile);

QByteArray encoded(const TextIndexEntries& entries);
// The whole file around a payload: its header, with the payload's sum.
QByteArray withHeader(QByteArrayView payload);

// The entries of a file's payload, the bytes after its checked header; none
// when anything in it is out of place.
std::optional<TextIndexEntries> parsePayload(const char* payload, std::size_t size);

} // namespace TextIndexFile

} // namespace ovra
