#include "StandardFolders.h"

#include "platform/PathKey.h"
#include "platform/XdgPaths.h"
#include "ui/PathText.h"

namespace ovra::StandardFolders {

namespace {

constexpr xdg::UserDir kRoles[] = {xdg::UserDir::Desktop,   xdg::UserDir::Documents,
                                   xdg::UserDir::Downloads, xdg::UserDir::Pictures,
                                   xdg::UserDir::Videos,    xdg::UserDir::Music};

} // namespace

QList<Location> byRole()
{
    QList<QString> rolePaths;
    for (xdg::UserDir role : kRoles)
        rolePaths.append(pathKey(xdg::userDir(role)));
    QList<Location> folders;
    for (const Location& location : Location::standard()) {
        if (!rolePaths.contains(location.path)) continue;
        // Two roles may share one folder; it is listed once.
        const bool listed = std::any_of(folders.cbegin(), folders.cend(),
                                        [&](const Location& l) { return l.path == location.path; });
        // Named by the folder itself: the videos folder reads "Videos", or its
        // name in the user's language.
        if (!listed) folders.append({location.path, displayName(location.path), location.symbol});
    }
    return folders;
}

QList<Location> goLocations()
{
    const QList<Location> standard = Location::standard();
    QList<Location> locations;
    if (!standard.isEmpty()) locations.append(standard.first());
    locations.append(byRole());
    return locations;
}

} // namespace ovra::StandardFolders
