#pragma once

#include "FileInteractions.h"
#include "ui/AppContext.h"

namespace ovra {

// How a double click or Return opens a file of each category.
enum class OpenRule { preview, play, openFolder, openExternally };
// Music plays where there is a player; without one it opens in its application.
OpenRule openRule(FileCategory category, bool hasPlayer);

// The file interactions of the app: opening by category, the shared context
// menu on the targets of a right click, and drags out that offer a copy only,
// so another file manager can never move the user's file away.
class AppFileInteractions : public FileInteractions {
public:
    explicit AppFileInteractions(const AppContext& context);

    void open(const FileItem& item, const QList<FileItem>& list) override;
    void showContextMenu(const FileItem& item, const QList<FileItem>& list,
                         const QPoint& globalPosition) override;
    void startDrag(const FileItem& item, const QList<FileItem>& list, QWidget* source) override;

private:
    AppContext m_context;
};

} // namespace ovra
