#pragma once

#include "platform/DesktopEntry.h"

#include <QString>
#include <QStringList>

#include <optional>

namespace ovra {

namespace DefaultApplication {

// The application that opens files of `mimeType`: the user's and the system's
// mimeapps.list defaults first, then their added associations, then the
// applications that declare the type; each for the type and then for the types
// it derives from (a C source falls back to plain text). None when nothing
// installed opens it.
std::optional<DesktopEntry> forMimeType(const QString& mimeType);

// The entry of a desktop file id, from the applications folders in order.
std::optional<DesktopEntry> findEntry(const QString& id);

} // namespace DefaultApplication
} // namespace ovra
