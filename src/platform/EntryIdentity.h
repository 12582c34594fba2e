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
// kind and, when known, the same inode, creation time and handle. A file
// deleted and made again under its name may get the inode number back at once
// (ext4 does), so only the rest tells them apart. The device is recorded but not
// compared: the saved index keeps device numbers from earlier starts.
struct EntryIdentity {
    EntryKind kind = EntryKind::unknown;
    std::uint64_t device = 0;
    std::uint64_t inode = 0; // 0: not known
    // `fileCreationSeconds`: the birth time where the file system keeps one,
    // else the change time; 0: not known. Where it is the change time, a file
    // only chmod-ed or written since the user saw it counts as another too:
    // refusing it is the safe side.
    double birth = 0;
    // Where the file system keeps no birth time its change time may count whole
    // seconds (ext4 with 128-byte inodes), and a file made again within the
    // second shares it. The handle the file system gives the entry holds the
    // inode's generation, which the new file does not share: `entryHandleDigest`,
    // taken only there; 0: not known.
    std::uint32_t handle = 0;

    friend bool operator==(const EntryIdentity&, const EntryIdentity&) = default;
};

// A digest of the handle the file system gives `name` in `folder` (a link as
// itself), taken where `st`, its statx, holds no birth time; 0 where it holds
// one or the file system gives no handle.
std::uint32_t entryHandleDigest(int folder, const char* name, const struct statx& st);

// The identity of the entry at `name` in `folder` (as `openat` takes them),
// which a statx with STATX_TYPE, STATX_INO, STATX_CTIME and STATX_BTIME saw.
EntryIdentity entryIdentityAt(int folder, const char* name, const struct statx& st);

} // namespace ovra
