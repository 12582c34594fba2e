#pragma once

#include <QString>

namespace ovra {

// How the file manager names a path: its last component ("/" for the root).
// Trailing slashes do not count as a component.
QString displayName(const QString& path);

// The path with the home folder written "~": the home folder itself reads "~",
// a path inside it "~/…". Only a whole leading folder is replaced, so a
// neighbour of home whose name merely starts the same ("/home/anna" next to
// "/home/ann") keeps its full path.
QString tildePath(const QString& path);
QString tildePath(const QString& path, const QString& home);

} // namespace ovra
