#pragma once

#include <QString>
#include <QStringView>

namespace ovra {

// The one canonical form of a path used as a key in every set and map of files:
// absolute, cleaned ("." and ".." resolved lexically, doubled slashes folded) and
// without a trailing slash (except for "/" itself). Symbolic links are not
// resolved: a path key names the entry the user sees.
QString pathKey(QStringView path);
// The same, sharing the text when it is already a key (no copy is made).
QString pathKey(const QString& path);

// True when `path` is `folder` itself or lies inside it, at a path boundary
// ("/home/ann" contains "/home/ann/x" but not "/home/anna").
bool pathIsInside(QStringView path, QStringView folder);

// The part of `path` below `folder` ("" for the folder itself), or a null string
// when the path is not inside it.
QString pathBelow(QStringView path, QStringView folder);

// A file's extension, the one rule for every screen and search: what follows
// the last dot of the path's last component, in lower case, so that "Photo.JPG"
// and "photo.jpg" are of one kind everywhere (a screen that shows it writes it in
// upper case). None for a name without a dot, for a hidden name whose only dot
// starts it (".bashrc") and for a name that ends in its dot ("notes.").
QString pathExtension(QStringView path);

} // namespace ovra
