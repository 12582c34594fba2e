#pragma once

#include "cleanup_model/CleanupKind.h"
#include "library/FileItem.h"
#include "library/Trash.h"
#include "ui/AppContext.h"

#include <QFuture>
#include <QList>
#include <QPointer>
#include <QWidget>

class QLabel;
#include <QMessageBox>
class QPushButton;

namespace ovra {

class CleanupStore;
class FileBrowser;

// The review of one kind's suggestions: the files in the shared file list, a
// bar with what they free and the two trash buttons, a confirmation, and the
// toast once the files have reached the Trash.
class CleanupReviewView : public QWidget {
    Q_OBJECT
public:
    CleanupReviewView(const AppContext& context, CleanupKind kind, QWidget* parent = nullptr);

    CleanupKind kind() const { return m_kind; }
    FileBrowser* browser() const { return m_browser; }
    // The kind's listed files, and those of them that are selected.
    QList<FileItem> items() const;
    QList<FileItem> selected() const;

    QPushButton* trashSelectedButton() const { return m_trashSelected; }
    QPushButton* trashAllButton() const { return m_trashAll; }
    QLabel* freedLabel() const { return m_freed; }
    // The confirmation on show; null when none is.
    QMessageBox* confirmation() const { return m_confirmation; }

    // Asks to move the files to the Trash.
    void confirm(const QList<FileItem>& files);
    // Moves them (what the confirmation's button does); the future answers
    // once the stores have forgotten them and the toast is up.
    QFuture<void> trash(const QList<FileItem>& files);

    // The toast's text for a move of `asked` files of which `moved` arrived.
    static QString outcomeMessage(qsizetype asked, qsizetype moved, qint64 freed);

private:
    QWidget* makeActionBar();
    void showItems();
    void showActionBar();

    AppContext m_context;
    CleanupKind m_kind;
    CleanupStore* m_cleanup;
    FileBrowser* m_browser;
    QWidget* m_actionBar = nullptr;
    QLabel* m_freed = nullptr;
    QPushButton* m_trashSelected = nullptr;
    QPushButton* m_trashAll = nullptr;
    QPointer<QMessageBox> m_confirmation;
    // What the browser was last handed, so the news of another kind does not
    // make it filter and sort the same list again.
    std::optional<std::pair<QList<FileItem>, bool>> m_shown;
};

} // namespace ovra
