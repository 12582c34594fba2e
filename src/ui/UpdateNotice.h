#pragma once

#include "platform/Updater.h"

#include <QObject>
#include <QPointer>
#include <QWidget>

class QAction;

namespace ovra {

// Tells the user what an update check found, and offers the "Check for
// Updates…" command. A newer release is offered as a link that the user's web
// browser opens on an explicit click; nothing is downloaded here. The quiet
// check at start-up speaks only of a newer release, never of a failure.
class UpdateNotice : public QObject {
    Q_OBJECT
public:
    // Dialogs open over `window` (which may be set later).
    UpdateNotice(Updater& updater, QObject* parent = nullptr);

    void setWindow(QWidget* window) { m_window = window; }
    // Enabled exactly while the updater can check.
    QAction* checkForUpdatesAction() const { return m_action; }

    // The dialog's title and text for a result; empty when nothing is said.
    static QString title(const UpdateCheck& result, bool userInitiated);
    static QString text(const UpdateCheck& result, const QString& currentVersion);

private:
    void show(const UpdateCheck& result, bool userInitiated);

    Updater& m_updater;
    QAction* m_action;
    QPointer<QWidget> m_window;
};

} // namespace ovra
