#pragma once

#include <QImage>
#include <QString>

namespace ovra {

// The icon the desktop shows for a file, at most `pixelSide` pixels square: a
// folder's icon for a folder, an application's own icon for a desktop entry,
// else the icon of the file's MIME type in the icon theme, else Qt's generic
// file icon. Icon themes are not safe to use off the GUI thread: call this on
// the GUI thread only. Null when no icon at all can be found.
QImage fileIcon(const QString& path, int pixelSide);

} // namespace ovra
