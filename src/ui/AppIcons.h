#pragma once

#include "library/FileItem.h"

#include <QIcon>
#include <QString>

#include <optional>

namespace ovra::AppIcons {

// The icons rows draw beside files: a file's or folder's own icon, and the icon
// of the application that opens a file. Rows ask on every paint, so both go
// through one cache kept for the life of the process; an entry, once stored,
// is never replaced. GUI thread only.

// The icon of the file or folder at `path`; never null. Keyed by the path.
QIcon icon(const QString& path);

// The icon of the application that opens the item, keyed by the MIME type its
// name gives: the first file asked about decides for its type. None for
// applications and folders, and none (stored nowhere, so asked again next
// time) when no installed application opens the file.
std::optional<QIcon> defaultApp(const FileItem& item);

} // namespace ovra::AppIcons
