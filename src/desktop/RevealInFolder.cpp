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

void openEnclosingFolders(const QStringList& paths)
{
    QStringList opened;
    for (const QString& path : paths) {
        const QString folder = QFileInfo(path).absolutePath();
        if (opened.contains(folder)) continue;
        opened.append(folder);
        QDesktopServices::openUrl(QUrl::fromLocalFile(folder));
    }
}

} // namespace

void revealInFolder(const QStringList& paths)
{
    if (paths.isEmpty()) return;
    QDBusConnection bus = QDBusConnection::sessionBus();
    if (!bus.isConnected()) return openEnclosingFolders(paths);

    QStringList uris;
    for (const QString& path : paths)
        uris.append(QUrl::fromLocalFile(path).toString(QUrl::FullyEncoded));
    QDBusMessage call =
        QDBusMessage::createMethodCall(kService, kPath, kInterface, QStringLiteral("ShowItems"));
    call << uris << QString();
    auto* watcher = new QDBusPendingCallWatcher(bus.asyncCall(call, kTimeoutMs));
    QObject::connect(watcher, &QDBusPendingCallWatcher::finished, watcher,
                     [paths](QDBusPendingCallWatcher* finished) {
                         if (finished->isError()) openEnclosingFolders(paths);
                         finished->deleteLater();
                     });
}

} // namespace ovra
