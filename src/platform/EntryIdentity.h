#pragma once

#include "FileTime.h"

#include <cstdint>

namespace ovra {

// The kind of entry a path names as lstat sees it: a symbolic link is itself,
// never what it points to.
enum class EntryKind : std::uint8_t { unknown, file, folder, link, other };

EntryKind entryKindOfMode(unsigned mode);

// What stood at a path when the user saw it. An action that must act on that
// very entry (a move to the Trash) checks the path still names it: the same
// kind and, when known, the same inode and creation time. A file deleted and
// made again under its name may get the inode number back at once (ext4 does),
// so only the time tells them apart. The device is recorded but not compared:
// the saved index keeps device numbers from earlier starts.
struct EntryIdentity {
    EntryKind kind = EntryKind::unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0: not known
    // `fileCreationSeconds`: the birth time where the file system keeps one,
    // else the change time; 0: not known. Where it is the change time, a file
    // only chmod-ed or written since the user saw it counts as another too:
    // refusing it is the safe side.
    double birth = 0;

    friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// The identity of what a statx (with STATX_TYPE, STATX_INO, STATX_CTIME and
// STATX_BTIME) saw.
EntryIdentity entryIdentityOf(const struct statx& st);

} // namespace ovra
