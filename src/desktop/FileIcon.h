#pragma once

#include <QImage>
#include <QString>
#include <QStringList>

namespace ovra {

// What decides a file's icon, read from the disk: whether it is a folder (and
// which of the user's special folders), the icon its desktop entry names, and
// its MIME type (by name, or by its content when the name says nothing).
// Blocks: gather it on a pool thread.
struct FileIconFacts {
    QString path;
    bool isFolder = false;
    QString folderIcon;      // the icon a file manager gives a special folder
    QString applicationIcon; // a desktop entry's Icon: a theme name or a path
    // That icon read here: the file it names, or for a theme name the file of
    // that name in the pixmaps folder, used when the theme has none.
    QImage applicationImage;
    QString mimeType;
    QStringList typeIconNames; // the type's own icon name, then its generic one

    friend bool operator==(const FileIconFacts& a, const FileIconFacts& b)
    {
        return a.path == b.path && a.isFolder == b.isFolder && a.folderIcon == b.folderIcon &&
               a.applicationIcon == b.applicationIcon && a.mimeType == b.mimeType &&
               a.typeIconNames == b.typeIconNames;
    }
};
FileIconFacts fileIconFacts(const QString& path);

// The icon the desktop shows for a file, at most `pixelSide` pixels square: a
// special folder's own icon or a folder's for a folder, an application's own
// icon for a desktop entry, else the icon of the file's MIME type in the icon
// theme, else a generic file's. Reads the icon theme's files (through `IconTheme`), never the file
// itself nor the MIME database (the facts carry the names): call it on a pool
// thread. Null when no icon at all can be found.
QImage fileIcon(const FileIconFacts& facts, int pixelSide);

// The picture a desktop entry's Icon value names (a path, or a theme name with
// or without an extension), at most `pixelSide` pixels square; null when there
// is none. Blocks: reads the icon's file.
QImage desktopEntryIcon(const QString& icon, int pixelSide);

} // namespace ovra
