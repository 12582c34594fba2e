#include "Location.h"

#include "platform/PathKey.h"
#include "platform/XdgPaths.h"

#include <QFileInfo>

namespace ovra {

QString Location::home()
{
    return pathKey(xdg::home());
}

namespace {

// A user folder reads as its folder is called, so a renamed or localised one
// ("Filme") is shown as the file manager shows it.
Location userFolder(xdg::UserDir which, const char* symbol)
{
    const QString path = pathKey(xdg::userDir(which));
    return {path, path.section(u'/', -1), QLatin1String(symbol)};
}

std::optional<Location> iCloudDrive()
{
    const QString path =
        Location::home() + QStringLiteral("/Library/Mobile Documents/com~apple~CloudDocs");
    if (!QFileInfo::exists(path)) return std::nullopt;
    return Location{path, QStringLiteral("iCloud Drive"), QStringLiteral("icloud")};
}

// There is no single "/Applications" here. The first of the applications
// folders that exists stands for it: ~/Applications when the user keeps
// AppImages there, else their own desktop entries, else the system's. Before any
// exists, the user's desktop-entry folder, where an installed app would land.
QString applicationsFolder()
{
    const QStringList folders = xdg::applicationFolders();
    if (!folders.isEmpty()) return pathKey(folders.first());
    return pathKey(xdg::dataHome() + QStringLiteral("/applications"));
}

} // namespace

std::optional<Location> Location::standard(StandardFolder folder)
{
    switch (folder) {
    case StandardFolder::desktop:
        return userFolder(xdg::UserDir::Desktop, "menubar.dock.rectangle");
    case StandardFolder::documents: return userFolder(xdg::UserDir::Documents, "doc");
    case StandardFolder::downloads: return userFolder(xdg::UserDir::Downloads, "arrow.down.circle");
    case StandardFolder::pictures: return userFolder(xdg::UserDir::Pictures, "photo");
    case StandardFolder::videos: return userFolder(xdg::UserDir::Videos, "film");
    case StandardFolder::music: return userFolder(xdg::UserDir::Music, "music.note.list");
    case StandardFolder::iCloudDrive: return iCloudDrive();
    }
    return std::nullopt;
}

QList<Location> Location::standard()
{
    QList<Location> locations{{home(), xdg::userName(), QStringLiteral("house")}};
    for (const StandardFolder folder :
         {StandardFolder::desktop, StandardFolder::documents, StandardFolder::downloads,
          StandardFolder::pictures, StandardFolder::videos, StandardFolder::music,
          StandardFolder::iCloudDrive}) {
        if (auto location = standard(folder)) locations.append(std::move(*location));
    }
    locations.append(
        {applicationsFolder(), QStringLiteral("Applications"), QStringLiteral("square.grid.3x3")});
    return locations;
}

size_t qHash(const Location& location, size_t seed)
{
    return qHashMulti(seed, location.path, location.title, location.symbol);
}

} // namespace ovra
