#include "EntryIdentity.h"

#include <sys/stat.h>

namespace ovra {

EntryKind entryKindOfMode(unsigned mode)
{
    if (S_ISREG(mode)) return EntryKind::file;
    if (S_ISDIR(mode)) return EntryKind::folder;
    if (S_ISLNK(mode)) return EntryKind::link;
    return EntryKind::other;
}

} // namespace ovra
