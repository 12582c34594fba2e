#include "FileActions.h"

#include "desktop/RevealInFolder.h"

#include <QClipboard>
#include <QDesktopServices>
#include <QGuiApplication>
#include <QMimeData>
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

} // namespace

QFuture<Trash::Outcome> trash(Trash& trash, const QList<FileItem>& items)
{
    return trash.moveToTrash(pathsOf(items));
}

void reveal(const QList<FileItem>& items)
{
    revealInFolder(pathsOf(items));
}

void openExternally(const QList<FileItem>& items)
{
    for (const FileItem& item : items)
        QDesktopServices::openUrl(item.url());
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
