#pragma once

#include <cstdint>

namespace ovra {

// The kind of entry a path names as lstat sees it: a symbolic link is itself,
// never what it points to.
enum class EntryKind : std::uint8_t { unknown, file, folder, link, other };

EntryKind entryKindOfMode(unsigned mode);

// What stood at a path when the user saw it. An action that must act on that
// very entry (a move to the Trash) checks the path still names it: the same
// kind and, when known, the same inode and birth time. A file deleted and made
// again under its name may get the inode number back at once (ext4 does), so
// only the birth time tells them apart where the file system records it. The
// device is recorded but not compared: the saved index keeps device numbers
// from earlier starts.
struct EntryIdentity {
    EntryKind kind = EntryKind::unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0: not known
    // Seconds since 1970 (`fileTimeSeconds`); 0: not known. Compared only where
    // the file system answers a birth time, so a change time standing in for it
    // elsewhere is never taken for one.
    double birth = 0;

    friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

} // namespace ovra
