#pragma once

#include "library/FileItem.h"

#include <QList>
#include <QStringList>

namespace ovra {

class AppState;

// What the menu commands do, apart from the menus themselves, so the header's
// back button and the Back command share one action and the rules can be
// tested without a window.
namespace Commands {

// One level up in the folder path; nothing when the path is empty. Never
// changes the selection.
void back(AppState& state);

// The player's volume one step louder or quieter: 0.1 a step, kept within 0
// and 1 and rounded to hundredths, so eight steps down from 0.8 reach exactly
// 0 and the value never drifts between steps.
double volumeUp(double volume);
double volumeDown(double volume);

// The files "Copy Text from Image" reads: the previewed file, else the
// selected files, else the focused one, else none. The selection holds only
// paths; those files are read from the disk (off the GUI thread) into items.
struct CopyTextTargets {
    QList<FileItem> items;
    QStringList pathsToRead;
};
CopyTextTargets copyTextTargets(const AppState& state);
// Items of the paths, in order; a path that no longer names a file is
// skipped. Reads the disk: never on the GUI thread.
QList<FileItem> readItems(const QStringList& paths);

} // namespace Commands

} // namespace ovra
