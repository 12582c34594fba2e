#include "FileItem.h"

#include "Fmt.h"
#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UserFile.h"
#include "platform/metadata/Item.h"

#include <QFile>

#include <fcntl.h>
#include <sys/stat.h>

namespace ovra {
namespace {

QString lastComponent(const QString& path)
{
    const QString last = path.section(u'/', -1);
    return last.isEmpty() ? path : last; // "/" names itself
}

bool statPath(const QString& path, struct statx& st, bool followLink)
{
    const QByteArray native = QFile::encodeName(path);
    // A stat can wait on a slow or sleeping disk like any read.
    UserFile::checkThread(native.constData());
    const unsigned mask =
        STATX_TYPE | STATX_SIZE | STATX_MTIME | STATX_CTIME | STATX_BTIME | STATX_INO;
    const int flags = AT_NO_AUTOMOUNT | (followLink ? 0 : AT_SYMLINK_NOFOLLOW);
    return statx(AT_FDCWD, native.constData(), flags, mask, &st) == 0;
}

} // namespace

std::optional<FileItem> FileItem::fromMetadata(const md::Item& metadata)
{
    if (metadata.path.isEmpty()) return std::nullopt;
    FileItem item;
    item.path = pathKey(metadata.path);
    item.name = metadata.fsName.value_or(lastComponent(item.path));
    item.size = metadata.fsSize.value_or(0);
    item.modified = metadata.contentChangeDate.value_or(kDistantPast);
    item.created = metadata.creationDate;
    if (metadata.uniformType.isValid())
        item.contentType = metadata.uniformType;
    else if (metadata.contentType)
        item.contentType = UniformType::withIdentifier(*metadata.contentType);
    item.category = classify(item.contentType, false);
    item.pixelWidth = metadata.pixelWidth;
    item.pixelHeight = metadata.pixelHeight;
    item.duration = metadata.durationSeconds;
    if (metadata.authors && !metadata.authors->isEmpty()) item.artist = metadata.authors->first();
    item.album = metadata.album;
    item.title = metadata.title;
    // The index holds regular files and folders only, never a link, and
    // records their creation as `fileCreationSeconds` does.
    item.identity = {metadata.isDirectory ? EntryKind::folder : EntryKind::file, metadata.device,
                     metadata.inode, metadata.creationDate.value_or(0), metadata.handle};
    return item;
}

std::optional<FileItem> FileItem::fromPath(const QString& path)
{
    FileItem item;
    item.path = pathKey(path);
    struct statx st {};
    if (item.path.isEmpty() || !statPath(item.path, st, false)) return std::nullopt;

    UniformType type = UniformType::forFile(item.path);
    // The identity is the link's own, so trashing the item moves the link.
    item.identity = entryIdentityAt(AT_FDCWD, QFile::encodeName(item.path).constData(), st);
    // A link that leads somewhere is shown as what it leads to, so a linked
    // folder opens like a folder; one that leads nowhere stays a link.
    if (S_ISLNK(st.stx_mode)) {
        struct statx target {};
        if (statPath(item.path, target, true)) {
            st = target;
            type =
                S_ISDIR(st.stx_mode) ? UniformType::folder() : UniformType::forFileName(item.path);
        }
    }
    if (type.isValid()) item.contentType = type;
    // A package (a bundle folder) is a file to the user, not a folder to open.
    const bool isDirectory =
        S_ISDIR(st.stx_mode) && !(type.isValid() && type.conforms(UniformType::package()));

    item.name = lastComponent(item.path);
    // A folder's own size on disk says nothing about its contents.
    item.size = S_ISDIR(st.stx_mode) ? 0 : static_cast<qint64>(st.stx_size);
    item.modified = fileTimeSeconds(st.stx_mtime);
    item.created = fileCreationSeconds(st);
    item.category = classify(item.contentType, isDirectory);
    item.nameApplication();
    return item;
}

void FileItem::nameApplication()
{
    if (category != FileCategory::apps || pathExtension(path) != u"desktop") return;
    if (const std::optional<DesktopEntry> entry = DesktopEntry::read(path))
        if (!entry->name.isEmpty()) name = entry->name;
}

QString FileItem::displayTitle() const
{
    if (category == FileCategory::apps && name.endsWith(QStringLiteral(".app"), Qt::CaseSensitive))
        return name.chopped(4);
    if (category == FileCategory::music && title && !title->isEmpty()) return *title;
    return name;
}

QString FileItem::kindDescription() const
{
    if (category == FileCategory::folders) return QStringLiteral("Folder");
    if (contentType) {
        // The MIME database's own wording: capitalising each word would turn
        // "PNG image" into "Png Image".
        const QString description = contentType->localizedDescription();
        if (!description.isEmpty()) return description;
    }
    const QString extension = pathExtension(path).toUpper();
    if (!extension.isEmpty()) return extension + QStringLiteral(" file");
    return QStringLiteral("Document");
}

QString FileItem::sizeText() const
{
    return category == FileCategory::folders ? QStringLiteral("--") : Fmt::bytes(size);
}

QString FileItem::subtitle() const
{
    return subtitle(QDateTime::currentDateTime());
}

QString FileItem::subtitle(const QDateTime& now) const
{
    static const QString dot = QStringLiteral(" \u00B7 ");
    switch (category) {
    case FileCategory::images:
        if (pixelWidth && pixelHeight)
            return QString::number(*pixelWidth) + QStringLiteral(" \u00D7 ") +
                   QString::number(*pixelHeight) + dot + Fmt::bytes(size);
        return Fmt::bytes(size);
    case FileCategory::videos:
        if (duration) return Fmt::duration(*duration) + dot + Fmt::bytes(size);
        return Fmt::bytes(size);
    case FileCategory::music:
        if (artist) return *artist;
        return Fmt::bytes(size);
    case FileCategory::folders: return Fmt::date(modified, now);
    case FileCategory::documents:
    case FileCategory::archives:
    case FileCategory::apps:
    case FileCategory::code:
    case FileCategory::other: break;
    }
    return Fmt::bytes(size) + dot + Fmt::date(modified, now);
}

} // namespace ovra
