#include "FileActions.h"

#include "desktop/RevealInFolder.h"
#include "library/AppState.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
#include <QPointer>
#include <QUrl>

namespace ovra::FileActions {

namespace {

QStringList pathsOf(const QList<FileItem>& items)
{
    QStringList paths;
    paths.reserve(items.size());
    for (const FileItem& item : items)
        paths.append(item.path);
    return paths;
}

QList<QUrl> urlsOf(const QList<FileItem>& items)
{
    QList<QUrl> urls;
    urls.reserve(items.size());
    for (const FileItem& item : items)
        urls.append(item.url());
    return urls;
}

QString nameOf(const QString& path)
{
    const QString name = path.section(u'/', -1);
    return name.isEmpty() ? path : name;
}

// One toast for whatever could not be handed over: by name for one file, by
// count for several.
void tellUnhandled(AppState& state, const QStringList& paths, const QString& one,
                   const QString& several)
{
    if (paths.isEmpty()) return;
    const QString message =
        paths.size() == 1 ? one.arg(nameOf(paths.first())) : several.arg(paths.size());
    state.setToast(AppState::Toast::make(message, QStringLiteral("exclamationmark.triangle")));
}

} // namespace

QFuture<Trash::Outcome> trash(Trash& trash, const QList<FileItem>& items)
{
    return trash.moveToTrash(items);
}

QString refusalMessage(const Trash::Outcome& outcome, qsizetype asked)
{
    if (outcome.failed.isEmpty()) return {};
    const QString& first = outcome.failed.first();
    const QString name = u'“' + first.section(u'/', -1) + u'”';
    QString reason = outcome.reasons.value(first);
    if (reason.isEmpty()) reason = QStringLiteral("the reason is unknown");
    if (asked == 1 && outcome.failed.size() == 1)
        return QStringLiteral("Couldn't move ") + name + QStringLiteral(" to the Trash: ") + reason;
    const qsizetype others = outcome.failed.size() - 1;
    const QString stayed =
        others == 0 ? name
                    : name + QStringLiteral(" and ") + QString::number(others) +
                          (others == 1 ? QStringLiteral(" other") : QStringLiteral(" others"));
    return QStringLiteral("Moved %1 of %2 items to the Trash; %3 stayed: %4")
        .arg(QString::number(outcome.moved.size()), QString::number(asked), stayed, reason);
}

void reveal(AppState& state, const QList<FileItem>& items)
{
    revealPaths(state, pathsOf(items));
}

void revealPaths(AppState& state, const QStringList& paths)
{
    QPointer<AppState> toasts(&state);
    revealInFolder(paths, [toasts](const QStringList& unshown) {
        if (!toasts) return;
        tellUnhandled(*toasts, unshown,
                      QStringLiteral("Couldn’t show “%1”: no file manager is set up"),
                      QStringLiteral("Couldn’t show %1 items: no file manager is set up"));
    });
}

void openExternally(AppState& state, const QList<FileItem>& items)
{
    QStringList unopened;
    for (const FileItem& item : items)
        if (!QDesktopServices::openUrl(item.url())) unopened.append(item.path);
    tellUnhandled(state, unopened,
                  QStringLiteral("Couldn’t open “%1”: no application is set up to open it"),
                  QStringLiteral("Couldn’t open %1 items: no application is set up to open them"));
}

QString pathText(const QList<FileItem>& items)
{
    return pathsOf(items).join(QLatin1Char('\n'));
}

QMimeData* copyMimeData(const QList<FileItem>& items)
{
    auto* data = new QMimeData;
    const QList<QUrl> urls = urlsOf(items);
    data->setUrls(urls);
    // GNOME's Files, Nemo and Caja read this list to paste files; "copy" and
    // never "cut", so a paste there never moves the user's file away.
    QByteArray gnome("copy");
    for (const QUrl& url : urls)
        gnome += '\n' + url.toEncoded();
    data->setData(QStringLiteral("x-special/gnome-copied-files"), gnome);
    data->setText(pathText(items));
    return data;
}

QMimeData* dragMimeData(const FileItem& item)
{
    auto* data = new QMimeData;
    data->setUrls({item.url()});
    data->setText(item.path);
    return data;
}

void copy(const QList<FileItem>& items)
{
    QGuiApplication::clipboard()->setMimeData(copyMimeData(items));
}

void copyPath(const QList<FileItem>& items)
{
    auto* data = new QMimeData;
    data->setText(pathText(items));
    QGuiApplication::clipboard()->setMimeData(data);
}

} // namespace ovra::FileActions
