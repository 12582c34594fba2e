#include "UpdateNotice.h"

#include <QAction>
#include <QDesktopServices>
#include <QMessageBox>
#include <QPushButton>

namespace ovra {

UpdateNotice::UpdateNotice(Updater& updater, QObject* parent)
    : QObject(parent)
    , m_updater(updater)
    , m_action(new QAction(tr("Check for Updates…"), this))
{
    m_action->setMenuRole(QAction::ApplicationSpecificRole);
    m_action->setEnabled(updater.canCheckForUpdates());
    connect(&updater, &Updater::canCheckForUpdatesChanged, this,
            [this] { m_action->setEnabled(m_updater.canCheckForUpdates()); });
    connect(m_action, &QAction::triggered, &updater, &Updater::checkForUpdates);
    connect(&updater, &Updater::checked, this, &UpdateNotice::show);
}

QString UpdateNotice::title(const UpdateCheck& result, bool userInitiated)
{
    switch (result.outcome) {
    case UpdateCheck::Outcome::newer: return tr("A new version of Ovra is available");
    case UpdateCheck::Outcome::upToDate:
        return userInitiated ? tr("Ovra is up to date") : QString();
    case UpdateCheck::Outcome::failed:
        return userInitiated ? tr("Could not check for updates") : QString();
    }
    return {};
}

QString UpdateNotice::text(const UpdateCheck& result, const QString& currentVersion)
{
    switch (result.outcome) {
    case UpdateCheck::Outcome::newer:
        return tr("Ovra %1 is available; you have %2.").arg(result.latest->version, currentVersion);
    case UpdateCheck::Outcome::upToDate:
        return tr("Ovra %1 is the newest version.").arg(currentVersion);
    case UpdateCheck::Outcome::failed:
        return tr("The list of updates could not be read. Please try again later.");
    }
    return {};
}

void UpdateNotice::show(const UpdateCheck& result, bool userInitiated)
{
    const QString heading = title(result, userInitiated);
    if (heading.isEmpty()) return;
    auto* box =
        new QMessageBox(QMessageBox::Information, heading, text(result, m_updater.currentVersion()),
                        QMessageBox::NoButton, m_window);
    box->setAttribute(Qt::WA_DeleteOnClose);
    box->setTextFormat(Qt::PlainText);
    if (result.outcome == UpdateCheck::Outcome::newer) {
        QPushButton* open = box->addButton(tr("Open Download Page"), QMessageBox::AcceptRole);
        box->addButton(tr("Later"), QMessageBox::RejectRole);
        const QUrl link = result.latest->link;
        connect(open, &QPushButton::clicked, box, [link] { QDesktopServices::openUrl(link); });
    } else {
        box->addButton(QMessageBox::Ok);
    }
    box->open();
}

} // namespace ovra
