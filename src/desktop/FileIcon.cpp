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

QIcon applicationIcon(const FileIconFacts& facts)
{
    if (!facts.applicationImage.isNull()) return QIcon(QPixmap::fromImage(facts.applicationImage));
    if (facts.applicationIcon.isEmpty() || facts.applicationIcon.startsWith(u'/')) return {};
    return QIcon::fromTheme(facts.applicationIcon);
}

QIcon mimeTypeIcon(const QStringList& iconNames)
{
    for (const QString& name : iconNames) {
        if (name.isEmpty()) continue;
        if (QIcon icon = QIcon::fromTheme(name); !icon.isNull()) return icon;
    }
    return {};
}

// Every file of one type shows the same icon: rendering it once per type and
// size, not once per file, keeps a list scrolling past thousands of files from
// decoding the same picture over and over.
QImage cachedTypeIcon(const FileIconFacts& facts, int pixelSide)
{
    static QHash<QString, QImage> rendered;
    const QString key = facts.mimeType + u'@' + QString::number(pixelSide);
    if (const auto it = rendered.constFind(key); it != rendered.constEnd()) return it.value();
    const QIcon icon = mimeTypeIcon(facts.typeIconNames);
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
        // A file named as the icon is read here: a QIcon of a path reads it
        // when first painted, on the GUI thread.
        if (facts.applicationIcon.startsWith(u'/'))
            facts.applicationImage = QImage(facts.applicationIcon);
    }
    // The name decides when it can; only a name that says nothing costs a look
    // at the content.
    UniformType type = UniformType::forFileName(path);
    if (!type.isValid()) type = UniformType::forFile(path);
    facts.mimeType = type.preferredMimeType();
    // The MIME database checks its files for changes as it answers: asked here,
    // not by the GUI thread drawing the icon.
    if (const QMimeType mime = QMimeDatabase().mimeTypeForName(facts.mimeType); mime.isValid())
        facts.typeIconNames = {mime.iconName(), mime.genericIconName()};
    return facts;
}

QImage fileIcon(const FileIconFacts& facts, int pixelSide)
{
    Q_ASSERT(QThread::currentThread() == QCoreApplication::instance()->thread());
    QIcon icon;
    if (facts.isFolder)
        icon = QIcon::fromTheme(QStringLiteral("folder"));
    else
        icon = applicationIcon(facts);
    if (icon.isNull() && !facts.isFolder) {
        const QImage typeIcon = cachedTypeIcon(facts, pixelSide);
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
