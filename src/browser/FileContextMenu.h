#pragma once

#include "library/FileItem.h"
#include "ui/AppContext.h"

#include <QList>
#include <QPoint>
#include <QString>
#include <QStringList>

#include <optional>

class QMenu;
class QWidget;

namespace ovra {

// The context menu of files: what it offers for its targets, as plain data,
// and the menu built from it.
struct FileContextMenuEntry {
    enum class Action {
        play,
        open,
        preview,
        openWithDefaultApp,
        reveal,
        togglePin,
        copy,
        copyPath,
        copyText,
        showSource,
        moveToTrash,
        divider
    };
    Action action = Action::divider;
    QString title;
    QString symbol;
    bool destructive = false;

    friend bool operator==(const FileContextMenuEntry&, const FileContextMenuEntry&) = default;
};

struct FileContextMenuModel {
    QList<FileItem> targets;
    // The targets whose text can be read, in target order.
    QList<FileItem> readable;
    // The download source of a single file; none for several or unknown.
    std::optional<QString> sourceName;
    QList<FileContextMenuEntry> entries;

    // The entries' titles in order, "-" for a divider.
    QStringList titles() const;
};

// What the menu offers for `targets`. `hasPlayer` says whether music can
// play here; `sourceName` is the single target's download source when known.
FileContextMenuModel fileContextMenuModel(const QList<FileItem>& targets, const QStringList& pinned,
                                          bool hasPlayer, const std::optional<QString>& sourceName);

// The menu itself: every action acts on the targets through the app's
// objects. The single file's download source is looked up off the GUI thread
// and its entry added when the answer comes, while the menu may already show.
class FileContextMenu {
public:
    FileContextMenu(const AppContext& context, QList<FileItem> targets, QList<FileItem> list);

    // A new menu (deleted when it closes) for the targets as they stand now.
    QMenu* build(QWidget* parent = nullptr);
    void popup(const QPoint& globalPosition, QWidget* parent = nullptr);
    // Puts the entries into a menu that someone else shows (a card's menu button).
    void fill(QMenu* menu);

    // Runs one entry's action.
    void run(const FileContextMenuModel& model, FileContextMenuEntry::Action action);

private:
    void addEntries(QMenu* menu, const FileContextMenuModel& model);
    void lookUpSource(QMenu* menu);
    void moveToTrash(const QList<FileItem>& targets);

    AppContext m_context;
    QList<FileItem> m_targets;
    QList<FileItem> m_list;
};

} // namespace ovra
