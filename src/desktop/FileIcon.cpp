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

QIcon applicationIcon(const QString& name)
{
    if (name.isEmpty()) return {};
    if (name.startsWith(u'/')) return QIcon(name);
    return QIcon::fromTheme(name);
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

FileIconFacts fileIconFacts(const QString& path)
{
    FileIconFacts facts;
    facts.path = path;
    facts.isFolder = QFileInfo(path).isDir();
    if (facts.isFolder) return facts;
    if (pathExtension(path) == u"desktop") {
        const std::optional<DesktopEntry> entry = DesktopEntry::read(path);
        // An icon file that is not there falls back to the type's icon.
        if (entry && (!entry->icon.startsWith(u'/') || QFileInfo(entry->icon).isFile()))
            facts.applicationIcon = entry->icon;
    }
    // The name decides when it can; only a name that says nothing costs a look
    // at the content.
    UniformType type = UniformType::forFileName(path);
    if (!type.isValid()) type = UniformType::forFile(path);
    facts.mimeType = type.preferredMimeType();
    return facts;
}

QImage fileIcon(const FileIconFacts& facts, int pixelSide)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    QIcon icon;
    if (facts.isFolder)
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    else
        icon = applicationIcon(facts.applicationIcon);
    if (icon.isNull() && !facts.isFolder) {
        const QImage typeIcon = cachedTypeIcon(facts.mimeType, pixelSide);
        if (!typeIcon.isNull()) return typeIcon;
    }
    if (icon.isNull()) {
        static const QFileIconProvider provider;
        icon = provider.icon(facts.isFolder ? QAbstractFileIconProvider::Folder
                                            : QAbstractFileIconProvider::File);
    }
    if (icon.isNull()) return {};
    return icon.pixmap(QSize(pixelSide, pixelSide), 1.0).toImage();
}

} // namespace ovra
