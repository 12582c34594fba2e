#pragma once

#include <QStringList>

namespace ovra {

// Shows the files or folders selected in the desktop's file manager, through
// its FileManager1 D-Bus service. Where no file manager answers, each enclosing
// folder is opened instead. Returns at once; the call runs on the session bus.
void revealInFolder(const QStringList& paths);

} // namespace ovra
