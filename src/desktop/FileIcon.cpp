#include "FileIcon.h"

#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UniformType.h"

#include <QCoreApplication>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QIcon>
#include <QMimeDatabase>
#include <QPixmap>
#include <QThread>

namespace ovra {

namespace {

QIcon applicationIcon(const QString& desktopEntry)
{
    const std::optional<DesktopEntry> entry = DesktopEntry::read(desktopEntry);
    const QString name = entry ? entry->icon : QString();
    if (name.isEmpty()) return {};
    if (name.startsWith(u'/')) return QFileInfo(name).isFile() ? QIcon(name) : QIcon();
    return QIcon::fromTheme(name);
}

// The MIME type whose icon stands for the file. The name decides when it can:
// this runs on the GUI thread, which must not wait for the disk. Only a name
// that says nothing costs a look at the content (our own reader, which does
// not touch the access time).
QString mimeTypeOf(const QString& path)
{
    UniformType type = UniformType::forFileName(QFileInfo(path).fileName());
    if (!type.isValid()) type = UniformType::forFile(path);
    return type.preferredMimeType();
}

QIcon mimeTypeIcon(const QString& mimeName)
{
    if (mimeName.isEmpty()) return {};
    const QMimeType mime = QMimeDatabase().mimeTypeForName(mimeName);
    if (!mime.isValid()) return {};
    QIcon icon = QIcon::fromTheme(mime.iconName());
    if (icon.isNull()) icon = QIcon::fromTheme(mime.genericIconName());
    return icon;
}

// Every file of one type shows the same icon: rendering it once per type and
// size, not once per file, keeps a list scrolling past thousands of files from
// decoding the same picture over and over.
QImage cachedTypeIcon(const QString& mimeName, int pixelSide)
{
    static QHash<QString, QImage> rendered;
    const QString key = mimeName + u'@' + QString::number(pixelSide);
    if (const auto it = rendered.constFind(key); it != rendered.constEnd()) return it.value();
    const QIcon icon = mimeTypeIcon(mimeName);
    const QImage image =
        icon.isNull() ? QImage() : icon.pixmap(QSize(pixelSide, pixelSide), 1.0).toImage();
    rendered.insert(key, image);
    return image;
}

} // namespace

QImage fileIcon(const QString& path, int pixelSide)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    const QFileInfo info(path);
    QIcon icon;
    if (info.isDir())
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    else if (pathExtension(path) == u"desktop")
        icon = applicationIcon(path);
    if (icon.isNull()) {
        const QImage typeIcon = cachedTypeIcon(mimeTypeOf(path), pixelSide);
        if (!typeIcon.isNull()) return typeIcon;
    }
    if (icon.isNull()) {
        static const QFileIconProvider provider;
        icon = provider.icon(info);
    }
    if (icon.isNull()) return {};
    return icon.pixmap(QSize(pixelSide, pixelSide), 1.0).toImage();
}

} // namespace ovra
