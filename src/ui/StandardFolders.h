#pragma once

#include "library/Location.h"

#include <QList>

namespace ovra::StandardFolders {

// The user's six standard folders (Desktop, Documents, Downloads, Pictures,
// the videos folder, Music), chosen by their role in the desktop's user-dirs
// settings, whatever their names: "Videos" and localised names count.
QList<Location> byRole();

// What the Go menu lists: the home folder, then the standard folders.
QList<Location> goLocations();

} // namespace ovra::StandardFolders
