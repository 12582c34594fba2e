#pragma once

#include "library/Location.h"
#include "platform/Background.h"
#include "ui/AppContext.h"

#include <QObject>

class QAction;
class QMenu;
class QMenuBar;

namespace ovra {

// The menu bar of the one window: File and Help hold what every desktop app
// has, Edit and View gain the app's commands, and "Go" and "Controls" are its
// own. Each item changes the app state, drives the player or starts a text
// copy. One action owns each shortcut: Go › Back owns Ctrl+[, Alt+Left and the
// mouse's back button, and does what the back button of the screen on show
// does (else it goes up a folder).
class OvraCommands : public QObject {
    Q_OBJECT
public:
    OvraCommands(const AppContext& context, QMenuBar* menuBar);
    ~OvraCommands() override;

    QMenu* goMenu() const { return m_go; }
    QMenu* controlsMenu() const { return m_controls; }
    // The action of a menu item by its title; null when there is none.
    QAction* action(const QString& title) const;
    QList<QAction*> locationActions() const { return m_locationActions; }
    // "Check for Updates…" as the update checker enables it.
    void setUpdateCheck(QAction* check);

protected:
    bool eventFilter(QObject* watched, QEvent* event) override;

signals:
    // The Go menu's locations were read anew.
    void locationsShown();

private:
    void addFileMenu(QMenuBar* bar);
    void addEditMenu(QMenuBar* bar);
    void addViewMenu(QMenuBar* bar);
    void addGoMenu(QMenuBar* bar);
    void addControlsMenu(QMenuBar* bar);
    void addHelpMenu(QMenuBar* bar);
    QAction* add(QMenu* menu, const QString& title, const QKeySequence& shortcut,
                 std::function<void()> run);
    void goBack();
    void copyText();
    void stepVolume(bool up);
    void followPlayer();
    void readLocations();
    void showLocations(const QList<Location>& locations);

    AppContext m_context;
    QMenu* m_go = nullptr;
    QAction* m_back = nullptr;
    QMenu* m_help = nullptr;
    QAction* m_updateCheck = nullptr;
    QMenu* m_controls = nullptr;
    QAction* m_playPause = nullptr;
    QAction* m_locationsEnd = nullptr;
    QList<QAction*> m_locationActions;
    // Reads the Go menu's places and the selected files for "Copy Text from
    // Image"; last, so that work is waited for before the rest goes.
    background::TaskSet m_tasks;
};

} // namespace ovra
