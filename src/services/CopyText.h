#pragma once

#include "library/FileItem.h"

#include <QList>

namespace ovra {

class AppState;
class TextIndex;

// The one command that puts the text inside images and PDFs on the clipboard.
namespace CopyText {

// Reads the text of the readable images and PDFs among the items through the
// index (recognising it now where the index has none), one file after another,
// and puts it on the clipboard as plain text: one file's text alone, several
// under a header per file. Start and outcome are told by the app state's toast.
// Returns after the first toast; call on the GUI thread.
void run(const QList<FileItem>& items, TextIndex& index, AppState& state);

} // namespace CopyText

} // namespace ovra
