#include "EntryIdentity.h"

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

EntryIdentity entryIdentityOf(const struct statx& st)
{
    return {entryKindOfMode(st.stx_mode), makedev(st.stx_dev_major, st.stx_dev_minor),
            std::uint64_t(st.stx_ino), fileCreationSeconds(st)};
}

} // namespace ovra
