#include "FileIcon.h"

#include "IconTheme.h"
#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UniformType.h"

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
    if (facts.isFolder) return cachedThemeIcon(kFolderIcons, pixelSide);
    if (!facts.applicationImage.isNull()) {
        const QImage& image = facts.applicationImage;
        if (image.width() <= pixelSide && image.height() <= pixelSide) return image;
        return image.scaled(pixelSide, pixelSide, Qt::KeepAspectRatio, Qt::SmoothTransformation);
    }
    if (!facts.applicationIcon.isEmpty() && !facts.applicationIcon.startsWith(u'/')) {
        if (QImage icon = cachedThemeIcon({facts.applicationIcon}, pixelSide); !icon.isNull())
            return icon;
    }
    if (QImage icon = cachedThemeIcon(facts.typeIconNames, pixelSide); !icon.isNull()) return icon;
    return cachedThemeIcon(kFileIcons, pixelSide);
}

} // namespace ovra
