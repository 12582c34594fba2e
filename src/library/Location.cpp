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

Location userFolder(xdg::UserDir which, const char* title, const char* symbol)
{
    return {pathKey(xdg::userDir(which)), QLatin1String(title), QLatin1String(symbol)};
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

QList<Location> Location::standard()
{
    const QString homePath = home();
    QList<Location> locations{
        {homePath, xdg::userName(), QStringLiteral("house")},
        userFolder(xdg::UserDir::Desktop, "Desktop", "menubar.dock.rectangle"),
        userFolder(xdg::UserDir::Documents, "Documents", "doc"),
        userFolder(xdg::UserDir::Downloads, "Downloads", "arrow.down.circle"),
        userFolder(xdg::UserDir::Pictures, "Pictures", "photo"),
        userFolder(xdg::UserDir::Videos, "Movies", "film"),
        userFolder(xdg::UserDir::Music, "Music", "music.note.list"),
    };
    const QString iCloud =
        homePath + QStringLiteral("/Library/Mobile Documents/com~apple~CloudDocs");
    if (QFileInfo::exists(iCloud))
        locations.append({iCloud, QStringLiteral("iCloud Drive"), QStringLiteral("icloud")});
    locations.append(
        {applicationsFolder(), QStringLiteral("Applications"), QStringLiteral("square.grid.3x3")});
    return locations;
}

size_t qHash(const Location& location, size_t seed)
{
    return qHashMulti(seed, location.path, location.title, location.symbol);
}

} // namespace ovra
