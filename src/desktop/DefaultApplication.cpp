#include "DefaultApplication.h"

#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileInfo>
#include <QMimeDatabase>
#include <QSet>

namespace ovra::DefaultApplication {

namespace {

const QString kDefaultGroup = QStringLiteral("Default Applications");
const QString kAddedGroup = QStringLiteral("Added Associations");
const QString kRemovedGroup = QStringLiteral("Removed Associations");
const QString kCacheGroup = QStringLiteral("MIME Cache");

using Group = KeyFile::Group;

QStringList splitList(const QString& value)
{
    return value.split(QLatin1Char(';'), Qt::SkipEmptyParts);
}

QStringList configDirs()
{
    QStringList dirs;
    for (const QString& dir :
         qEnvironmentVariable("XDG_CONFIG_DIRS").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        if (dir.startsWith(QLatin1Char('/'))) dirs << QDir::cleanPath(dir);
    if (dirs.isEmpty()) dirs << QStringLiteral("/etc/xdg");
    return dirs;
}

QStringList applicationDirs()
{
    QStringList dirs{xdg::dataHome() + QStringLiteral("/applications")};
    for (const QString& dir : xdg::dataDirs())
        dirs << dir + QStringLiteral("/applications");
    return dirs;
}

QStringList currentDesktops()
{
    QStringList names;
    for (const QString& name :
         qEnvironmentVariable("XDG_CURRENT_DESKTOP").split(QLatin1Char(':'), Qt::SkipEmptyParts))
        names << name.toLower();
    return names;
}

// The mimeapps.list files, most important first: the user's configuration, the
// system's, then the lists beside the applications; in each folder the
// desktop's own list ahead of the common one.
QStringList mimeappsLists()
{
    QStringList folders{xdg::configHome()};
    folders << configDirs();
    folders << applicationDirs();
    const QStringList desktops = currentDesktops();
    QStringList files;
    for (const QString& folder : folders) {
        for (const QString& desktop : desktops)
            files << folder + QLatin1Char('/') + desktop + QStringLiteral("-mimeapps.list");
        files << folder + QStringLiteral("/mimeapps.list");
    }
    return files;
}

class Resolver {
public:
    Resolver()
    {
        for (const QString& path : mimeappsLists()) {
            if (QFileInfo::exists(path)) m_lists << KeyFile::read(path);
        }
        for (const QString& dir : applicationDirs()) {
            const QString cache = dir + QStringLiteral("/mimeinfo.cache");
            if (QFileInfo::exists(cache)) m_caches << KeyFile::read(cache).group(kCacheGroup);
        }
    }

    std::optional<DesktopEntry> resolve(const QString& mimeType)
    {
        QMimeDatabase database;
        const QMimeType type = database.mimeTypeForName(mimeType);
        QStringList types{type.isValid() ? type.name() : mimeType};
        if (type.isValid()) types << type.allAncestors();
        for (const QString& name : types) {
            if (auto entry = resolveExactly(name)) return entry;
        }
        return std::nullopt;
    }

private:
    std::optional<DesktopEntry> resolveExactly(const QString& mimeType)
    {
        // Associations that a more important list removed stay removed below it.
        QSet<QString> removed;
        for (const KeyFile& list : std::as_const(m_lists)) {
            for (const QString& id : splitList(list.group(kDefaultGroup).value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
            for (const QString& id : splitList(list.group(kRemovedGroup).value(mimeType)))
                removed.insert(id);
        }
        removed.clear();
        for (const KeyFile& list : std::as_const(m_lists)) {
            for (const QString& id : splitList(list.group(kAddedGroup).value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
            for (const QString& id : splitList(list.group(kRemovedGroup).value(mimeType)))
                removed.insert(id);
        }
        for (const Group& cache : std::as_const(m_caches)) {
            for (const QString& id : splitList(cache.value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
        }
        return std::nullopt;
    }

    QList<KeyFile> m_lists;
    QList<Group> m_caches;
};

} // namespace

std::optional<DesktopEntry> findEntry(const QString& id)
{
    if (!id.endsWith(QLatin1String(".desktop")) || id.contains(QLatin1Char('/')))
        return std::nullopt;
    // "kde-foo.desktop" may live as kde/foo.desktop: the id writes folders as
    // dashes. No folder is "." or "..": "..-foo.desktop" names no file beside
    // the applications folder.
    QStringList relatives{id};
    if (const qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0) {
        const QString folder = id.left(dash);
        if (folder != QLatin1String(".") && folder != QLatin1String(".."))
            relatives << folder + QLatin1Char('/') + id.mid(dash + 1);
    }
    for (const QString& dir : applicationDirs()) {
        for (const QString& relative : relatives) {
            const QString path = dir + QLatin1Char('/') + relative;
            if (QFileInfo(path).isFile())
                // the first file found decides, even if hidden
                return DesktopEntry::fromKeyFile(KeyFile::read(path), path, id);
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> forMimeType(const QString& mimeType)
{
    return Resolver().resolve(mimeType);
}

} // namespace ovra::DefaultApplication
