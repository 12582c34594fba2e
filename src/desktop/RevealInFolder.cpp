#include "RevealInFolder.h"

#include <QDBusConnection>
#include <QDBusMessage>
#include <QDBusPendingCallWatcher>
#include <QDesktopServices>
#include <QFileInfo>
#include <QUrl>

namespace ovra {

namespace {

const QString kService = QStringLiteral("org.freedesktop.FileManager1");
const QString kPath = QStringLiteral("/org/freedesktop/FileManager1");
const QString kInterface = QStringLiteral("org.freedesktop.FileManager1");
constexpr int kTimeoutMs = 5000;

using Unshown = std::function<void(const QStringList&)>;

void openEnclosingFolders(const QStringList& paths, const Unshown& unshown)
{
    QStringList tried;
    QStringList failedFolders;
    for (const QString& path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (tried.contains(folder)) continue;
        tried.append(folder);
        if (!QDesktopServices::openUrl(QUrl::fromLocalFile(folder))) failedFolders.append(folder);
    }
    if (failedFolders.isEmpty() || !unshown) return;
    QStringList failed;
    for (const QString& path : paths)
        if (failedFolders.contains(QFileInfo(path).absolutePath())) failed.append(path);
    unshown(failed);
}

} // namespace

void revealInFolder(const QStringList& paths, Unshown unshown)
{
    if (paths.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return openEnclosingFolders(paths, unshown);

    QStringList uris;
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [paths, unshown](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) openEnclosingFolders(paths, unshown);
                         finished->deleteLater();
                     });
}

} // namespace ovra
