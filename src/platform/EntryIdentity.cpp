#include "EntryIdentity.h"

#include "Checksum.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/sysmacros.h>

namespace ovra {

EntryKind entryKindOfMode(unsigned mode)
{
    if (S_ISREG(mode)) return EntryKind::file;
    if (S_ISDIR(mode)) return EntryKind::folder;
    if (S_ISLNK(mode)) return EntryKind::link;
    return EntryKind::other;
}

std::uint32_t entryHandleDigest(int folder, const char* name, const struct statx& st)
{
    if (st.stx_mask & STATX_BTIME) return 0;
    alignas(struct file_handle) unsigned char buffer[sizeof(struct file_handle) + MAX_HANDLE_SZ];
    auto* handle = reinterpret_cast<struct file_handle*>(buffer);
    handle->handle_bytes = MAX_HANDLE_SZ;
    int mountId = 0;
    if (::name_to_handle_at(folder, name, handle, &mountId, 0) != 0) return 0;
    // The type and the bytes lie side by side; the inode's generation is in them.
    const auto* from = reinterpret_cast<const char*>(&handle->handle_type);
    const std::uint64_t sum = checksum(from, sizeof handle->handle_type + handle->handle_bytes);
    const auto digest = std::uint32_t(sum ^ (sum >> 32));
    return digest != 0 ? digest : 1;
}

EntryIdentity entryIdentityAt(int folder, const char* name, const struct statx& st)
{
    return {entryKindOfMode(st.stx_mode), makedev(st.stx_dev_major, st.stx_dev_minor),
            std::uint64_t(st.stx_ino), fileCreationSeconds(st),
            entryHandleDigest(folder, name, st)};
}

} // namespace ovra
