#include "FileIcon.h"

#include "IconTheme.h"
#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UniformType.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

#include <mutex>

namespace ovra {

namespace {

// What a folder or a file of no known type shows when the theme has nothing
// more fitting.
const QStringList kFolderIcons{QStringLiteral("folder")};
const QStringList kFileIcons{QStringLiteral("text-x-generic"),
                             QStringLiteral("application-x-generic"), QStringLiteral("unknown")};

// Every file of one type shows the same icon: drawing it once per type and
// size, not once per file, keeps a list of thousands of files from reading the
// same icon file over and over.
QImage cachedThemeIcon(const QStringList& names, int pixelSide)
{
    // Never destroyed: a pool thread may still be drawing an icon as the
    // program ends.
    static std::mutex& mutex = *new std::mutex;
    static QHash<QString, QImage>& drawn = *new QHash<QString, QImage>;
    const QString key = names.join(u'|') + u'@' + QString::number(pixelSide);
    {
        const std::lock_guard lock(mutex);
        if (const auto it = drawn.constFind(key); it != drawn.constEnd()) return it.value();
    }
    const QImage image = IconTheme::shared().image(names, pixelSide);
    const std::lock_guard lock(mutex);
    drawn.insert(key, image);
    return image;
}

// The special folders keep the icons a file manager gives them.
QString folderIconName(const QString& path)
{
    const QString key = pathKey(path);
    if (key == pathKey(xdg::home())) return QStringLiteral("user-home");
    const std::pair<xdg::UserDir, const char*> special[] = {
        {xdg::UserDir::Desktop, "user-desktop"},      {xdg::UserDir::Documents, "folder-documents"},
        {xdg::UserDir::Downloads, "folder-download"}, {xdg::UserDir::Music, "folder-music"},
        {xdg::UserDir::Pictures, "folder-pictures"},  {xdg::UserDir::Videos, "folder-videos"}};
    for (const auto& [dir, name] : special)
        if (pathKey(xdg::userDir(dir)) == key) return QLatin1String(name);
    return {};
}

// The picture a desktop entry names, at its own size.
QImage readImage(const QString& path)
{
    return QImage::fromData(IconTheme::readIconBytes(path));
}

// A desktop entry's Icon as a theme name to try and a picture to fall back on:
// the file a path names (none when it is not there), or the pixmaps folder's
// file of the theme name. Entries often write the name with an extension,
// which the theme's names never carry.
void readEntryIcon(const QString& icon, QString& themeName, QImage& image)
{
    if (icon.isEmpty()) return;
    if (QDir::isAbsolutePath(icon)) {
        if (QFileInfo(icon).isFile()) {
            themeName = icon;
            image = readImage(icon);
        }
        return;
    }
    QString name = icon;
    for (const char* extension : {".png", ".svg", ".xpm"})
        if (name.endsWith(QLatin1String(extension))) name.chop(4);
    themeName = name;
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        const QString pixmap =
            QStringLiteral("/usr/share/pixmaps/") + name + QLatin1String(extension);
        if (QFileInfo(pixmap).isFile()) {
            image = readImage(pixmap);
            break;
        }
    }
}

QImage fitted(const QImage& image, int pixelSide)
{
    if (image.width() <= pixelSide && image.height() <= pixelSide) return image;
    return image.scaled(pixelSide, pixelSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
}

// The theme's icon of the entry's name first, then the picture read with it.
QImage entryImage(const QString& themeName, const QImage& image, int pixelSide)
{
    if (!themeName.isEmpty() && !themeName.startsWith(u'/'))
        if (QImage icon = cachedThemeIcon({themeName}, pixelSide); !icon.isNull()) return icon;
    if (!image.isNull()) return fitted(image, pixelSide);
    return {};
}

} // namespace

FileIconFacts fileIconFacts(const QString& path)
{
    FileIconFacts facts;
    facts.path = path;
    facts.isFolder = QFileInfo(path).isDir();
    if (facts.isFolder) {
        facts.folderIcon = folderIconName(path);
        return facts;
    }
    // An icon file that is not there falls back to the type's icon. A file
    // named as the icon is read here: a QIcon of a path reads it when first
    // painted, on the GUI thread.
    if (pathExtension(path) == u"desktop")
        if (const std::optional<DesktopEntry> entry = DesktopEntry::read(path))
            readEntryIcon(entry->icon, facts.applicationIcon, facts.applicationImage);
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
    if (facts.isFolder) {
        if (facts.folderIcon.isEmpty()) return cachedThemeIcon(kFolderIcons, pixelSide);
        return cachedThemeIcon(QStringList{facts.folderIcon} + kFolderIcons, pixelSide);
    }
    if (QImage icon = entryImage(facts.applicationIcon, facts.applicationImage, pixelSide);
        !icon.isNull())
        return icon;
    if (QImage icon = cachedThemeIcon(facts.typeIconNames, pixelSide); !icon.isNull()) return icon;
    return cachedThemeIcon(kFileIcons, pixelSide);
}

QImage desktopEntryIcon(const QString& icon, int pixelSide)
{
    QString themeName;
    QImage image;
    readEntryIcon(icon, themeName, image);
    return entryImage(themeName, image, pixelSide);
}

} // namespace ovra
