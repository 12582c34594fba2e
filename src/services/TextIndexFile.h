#pragma once

#include "TextIndexEntry.h"

#include <QByteArray>
#include <QString>
#include <QStringList>

#include <cstddef>
#include <optional>

namespace ovra {

// The text index on disk: the JSON file, an object keyed by path, and a binary
// copy of it written after it, checked as a whole, which loads a large index
// in a fraction of the time JSON takes.
namespace TextIndexFile {

struct Loaded {
    TextIndexEntries entries;
    // Files that hold something this reader cannot use. Each may be the user's
    // only copy of a large index (a disk error, an editor's mistake): it is
    // moved aside before the first save rather than overwritten.
    QStringList unreadable;
    // The two files do not agree yet (the copy is missing, older or damaged,
    // or the JSON file is gone): saved at once so that they do.
    bool needsSave = false;
};

// The binary copy while it is at least as new as the JSON file and whole, else
// the JSON file.
Loaded read(const QString& file, const QString& quickFile);

// The JSON file: entries that are damaged are dropped one by one and the rest
// kept. A file that does not parse, or holds entries but not one usable, is
// unreadable.
Loaded readJson(const QString& file);

QByteArray encodedJson(const TextIndexEntries& entries);
QByteArray encoded(const TextIndexEntries& entries);
// The whole file around a payload: its header, with the payload's sum.
QByteArray withHeader(QByteArrayView payload);

// The entries of a file's payload, the bytes after its checked header; none
// when anything in it is out of place.
std::optional<TextIndexEntries> parsePayload(const char* payload, std::size_t size);

} // namespace TextIndexFile

} // namespace ovra
