#pragma once

#include <QHash>
#include <QString>

namespace ovra {

// One file's recognised text and the version of the file it was read from.
struct TextIndexEntry {
    double modified = 0; // the file's modification time when it was read
    QString text;        // "" when the file holds no text
    friend bool operator==(const TextIndexEntry&, const TextIndexEntry&) = default;
};

// Keyed by each file's absolute path.
using TextIndexEntries = QHash<QString, TextIndexEntry>;

} // namespace ovra
