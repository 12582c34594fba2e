#pragma once

#include "EntryIdentity.h"

#include <QByteArray>
#include <QString>

#include <cstdint>
#include <ctime>
#include <functional>
#include <optional>

namespace ovra {

// Moves files into the freedesktop Trash, one file a call, the way the other
// desktop programs expect to find them: the info file is made exclusively,
// written and synced before the file moves, so a file in the Trash always has
// its way back; a file on another mounted file system goes to that file
// system's own Trash, never copied and deleted. A file that cannot be moved
// stays where it is, and the answer says why.
//
// Every call blocks on the disk: call it off the GUI thread. Thread-safe.
class FreedesktopTrash {
public:
    // A mounted file system: its device number and the folder it is mounted on.
    struct Volume {
        std::uint64_t device = 0;
        QString top;
    };
    // Which file system holds a folder (an absolute, canonical path). The real
    // look-up follows the folder's parents until the device changes.
    using VolumeOf = std::function<std::optional<Volume>(const QString& folder)>;
    static std::optional<Volume> mountedVolume(const QString& folder);

    struct Result {
        bool moved = false;
        // Why the file stayed, to finish "Couldn't move … to the Trash: "; empty
        // when it moved.
        QString reason;
        // Where it went, inside the Trash's "files" folder.
        QString trashedPath;
    };

    // What a name in an open folder names now, as lstat sees it: a statx
    // asking for what `EntryIdentity` holds; 0 or the error. A test stands in
    // a file system that keeps no birth time.
    using EntryStat = std::function<int(int folder, const QByteArray& name, struct statx& out)>;
    static int statEntry(int folder, const QByteArray& name, struct statx& out);

    explicit FreedesktopTrash(VolumeOf volumeOf = mountedVolume, EntryStat entryStat = statEntry);

    // Moves the entry at `path` (a link as the link itself) to the Trash, when
    // it still is what `seen` describes.
    Result move(const QString& path, const EntryIdentity& seen = {}) const;

    // A path as the info file's `Path=` holds it: every byte outside the
    // unreserved URL characters and "/" percent-escaped.
    static QByteArray escapePath(const QByteArray& path);
    // The whole info file for an escaped path, deleted at `deletion` (local time).
    static QByteArray infoText(const QByteArray& escapedPath, std::time_t deletion);

private:
    VolumeOf m_volumeOf;
    EntryStat m_entryStat;
};

} // namespace ovra
