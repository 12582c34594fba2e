#pragma once

#include <QStringList>

#include <functional>

namespace ovra {

// Shows the files or folders selected in the desktop's file manager, through
// its FileManager1 D-Bus service. Where no file manager answers, each enclosing
// folder is opened instead. Returns at once; the call runs on the session bus.
// `unshown` is called, on the GUI thread, with the paths whose folders nothing
// could show (no file manager and no application for folders).
void revealInFolder(const QStringList& paths,
                    std::function<void(const QStringList& unshown)> unshown = {});

} // namespace ovra
