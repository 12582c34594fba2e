#pragma once

#include <QString>
#include <QStringList>

namespace ovra::xdg {

// Every folder the app reads or writes comes from here, and every answer is read
// from the environment (HOME, XDG_*) at the moment of the call, so tests and
// benchmarks can point the whole app at a fixture home.

QString home();
QString userName();
QString configHome();   // $XDG_CONFIG_HOME or ~/.config
QString dataHome();     // $XDG_DATA_HOME or ~/.local/share
QString cacheHome();    // $XDG_CACHE_HOME or ~/.cache
QStringList dataDirs(); // $XDG_DATA_DIRS or /usr/local/share:/usr/share

QString appCacheDir();  // cacheHome()/Ovra
QString appDataDir();   // dataHome()/Ovra
QString appConfigDir(); // configHome()/Ovra

enum class UserDir { Desktop, Documents, Downloads, Pictures, Music, Videos };
// The user's named folder from user-dirs.dirs, else the usual name inside home.
// Reads that file: call it on a pool thread.
QString userDir(UserDir which);

// The folders that hold applications here: ~/Applications (AppImages),
// $XDG_DATA_HOME/applications and the applications folder of every
// $XDG_DATA_DIRS entry (desktop entries). Only those that exist.
QStringList applicationFolders();

} // namespace ovra::xdg
