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

} // namespace ovra
