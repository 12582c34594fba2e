#pragma once

#include "library/FileItem.h"
#include "library/Trash.h"

#include <QFuture>
#include <QList>

class QMimeData;

namespace ovra {

class AppState;

// The one place where the app acts on files outside itself. Every operation
// takes the files in the order the user sees them and uses only their paths.
// GUI thread only; nothing here waits on the disk.
namespace FileActions {

// Moves the files to the Trash through the app's one Trash, one call per file.
// The outcome lists exactly the files that reached it; the Trash has already
// told every registered store when the future finishes. A file that could not
// be moved stays where it was.
QFuture<Trash::Outcome> trash(Trash& trash, const QList<FileItem>& items);
// What the user is told when a move left files behind: which stayed and why,
// as one line for the toast. Empty when every file of the `asked` reached the
// Trash.
QString refusalMessage(const Trash::Outcome& outcome, qsizetype asked);
// Shows the files in the desktop's file manager (or opens their folders); when
// nothing can show them, the toast says so.
void reveal(AppState& state, const QList<FileItem>& items);
void revealPaths(AppState& state, const QStringList& paths);
// Opens each file in its default application; a file no application could
// take is named in the toast.
void openExternally(AppState& state, const QList<FileItem>& items);
// Puts the files on the clipboard so that a paste in a file manager copies them.
void copy(const QList<FileItem>& items);
// Puts the paths on the clipboard as plain text, one a line.
void copyPath(const QList<FileItem>& items);

// What `copy` puts on the clipboard: the URIs as text/uri-list, the file
// managers' own "copy" list, and the paths as plain text.
QMimeData* copyMimeData(const QList<FileItem>& items);
// What a drag out of the app carries: the file's URL and its path.
QMimeData* dragMimeData(const FileItem& item);
// The paths joined by line feeds, none after the last.
QString pathText(const QList<FileItem>& items);

} // namespace FileActions

} // namespace ovra
