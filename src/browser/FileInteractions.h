#pragma once

#include "library/FileItem.h"

#include <QList>
#include <QPoint>

class QWidget;

namespace ovra {

// The behaviour every file card and row shares beyond selecting: opening by
// category, the context menu and dragging out. The browser selects on a click
// and opens folders itself; everything else it hands to the interactions it
// was given. Without any, those gestures do nothing.
class FileInteractions {
public:
    virtual ~FileInteractions() = default;

    // A double click, or Return on a file the browser does not preview itself.
    // `list` is the shown list the file stands in.
    virtual void open(const FileItem& item, const QList<FileItem>& list) = 0;
    // A right click on a card or row; the selection is left as it is.
    virtual void showContextMenu(const FileItem& item, const QList<FileItem>& list,
                                 const QPoint& globalPosition) = 0;
    // The pointer moved past the drag distance with the button held on a card or row.
    virtual void startDrag(const FileItem& item, const QList<FileItem>& list, QWidget* source) = 0;
};

} // namespace ovra
