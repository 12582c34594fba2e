#pragma once

#include "library/FileItem.h"

#include <QList>
#include <QString>
#include <QUuid>

#include <cstdint>

namespace ovra {

// What a file was when the scan read it: enough to tell, just before a move to
// the Trash, whether it is still the same file with the same content length.
struct FileStamp {
    std::uint64_t device = 0;
    std::uint64_t inode = 0;
    qint64 size = -1;
    qint64 modifiedNs = 0;

    friend bool operator==(const FileStamp&, const FileStamp&) = default;
};

// One set of files that are copies (exact scan) or look alike (photo scan).
struct DuplicateGroup {
    QUuid id;
    QList<FileItem> files;   // in the order the scan met them
    QList<FileStamp> stamps; // one per file, same order
    QString keep;            // path of the copy to keep; always one of `files`

    // The files other than the keeper, in group order.
    QList<FileItem> extras() const;
    qint64 reclaimable() const;
    // The keeper as a file; the first file when `keep` names none (never happens
    // once a group went through `setKeep`).
    const FileItem& keeper() const;
    FileStamp stampOf(const QString& path) const;

    // Makes `path` the keeper when it is one of the files; anything else keeps
    // the first file, so a group can never end with every file an extra.
    void setKeep(const QString& path);
    // Drops the files whose paths are in `paths`; the keeper falls back to the
    // first remaining file when it went.
    void removeFiles(const QSet<QString>& paths);

    friend bool operator==(const DuplicateGroup&, const DuplicateGroup&) = default;
};

// Sorts most reclaimable bytes first; groups of equal worth keep their order.
void sortByReclaimable(QList<DuplicateGroup>& groups);

} // namespace ovra
