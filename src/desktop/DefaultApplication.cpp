#include "DefaultApplication.h"

#include "platform/XdgPaths.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QHash>
#include <QLocale>
#include <QMimeDatabase>
#include <QSet>
#include <QTextStream>

namespace ovra::DefaultApplication {

namespace {

const QString kDefaultGroup = QStringLiteral("Default Applications");
const QString kAddedGroup = QStringLiteral("Added Associations");
const QString kRemovedGroup = QStringLiteral("Removed Associations");
const QString kCacheGroup = QStringLiteral("MIME Cache");
const QString kEntryGroup = QStringLiteral("Desktop Entry");

using Group = QHash<QString, QString>;
using IniFile = QHash<QString, Group>;

// Desktop entries and mimeapps.list are "key=value" lines under "[group]"
// headers; QSettings would mangle their keys ("Name[de]", "text/plain").
IniFile readIni(const QString& path)
{
    IniFile groups;
    QFile file(path);
    if (!file.open(QIODevice::ReadOnly | QIODevice::Text)) return groups;
    QTextStream in(&file);
    QString group;
    while (!in.atEnd()) {
        const QString line = in.readLine().trimmed();
        if (line.isEmpty() || line.startsWith(QLatin1Char('#'))) continue;
        if (line.startsWith(QLatin1Char('[')) && line.endsWith(QLatin1Char(']'))) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(QLatin1Char('='));
        if (equals <= 0 || group.isEmpty()) continue;
        const QString key = line.left(equals).trimmed();
        Group& values = groups[group];
        if (!values.contains(key)) // the first occurrence wins
            values.insert(key, line.mid(equals + 1).trimmed());
    }
    return groups;
}

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

QString localized(const Group& entry, const QString& key)
{
    // "de_AT" tries Name[de_AT], then Name[de], then Name.
    const QString locale = QLocale().name();
    for (const QString& tag : {locale, locale.section(QLatin1Char('_'), 0, 0)}) {
        const QString value = entry.value(key + QLatin1Char('[') + tag + QLatin1Char(']'));
        if (!value.isEmpty()) return value;
    }
    return entry.value(key);
}

class Resolver {
public:
    Resolver()
    {
        for (const QString& path : mimeappsLists()) {
            if (QFileInfo::exists(path)) m_lists << readIni(path);
        }
        for (const QString& dir : applicationDirs()) {
            const QString cache = dir + QStringLiteral("/mimeinfo.cache");
            if (QFileInfo::exists(cache)) m_caches << readIni(cache).value(kCacheGroup);
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
        for (const IniFile& list : std::as_const(m_lists)) {
            for (const QString& id : splitList(list.value(kDefaultGroup).value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
            for (const QString& id : splitList(list.value(kRemovedGroup).value(mimeType)))
                removed.insert(id);
        }
        removed.clear();
        for (const IniFile& list : std::as_const(m_lists)) {
            for (const QString& id : splitList(list.value(kAddedGroup).value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
            for (const QString& id : splitList(list.value(kRemovedGroup).value(mimeType)))
                removed.insert(id);
        }
        for (const Group& cache : std::as_const(m_caches)) {
            for (const QString& id : splitList(cache.value(mimeType)))
                if (!removed.contains(id))
                    if (auto entry = findEntry(id)) return entry;
        }
        return std::nullopt;
    }

    QList<IniFile> m_lists;
    QList<Group> m_caches;
};

} // namespace

std::optional<DesktopEntry> readEntry(const QString& path, const QString& id)
{
    const IniFile file = readIni(path);
    if (!file.contains(kEntryGroup)) return std::nullopt;
    const Group& entry = file[kEntryGroup];
    const QString type = entry.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (type != QLatin1String("Application") ||
        entry.value(QStringLiteral("Hidden")) == QLatin1String("true"))
        return std::nullopt;
    DesktopEntry result;
    result.id = id.isEmpty() ? QFileInfo(path).fileName() : id;
    result.path = path;
    result.name = localized(entry, QStringLiteral("Name"));
    result.icon = entry.value(QStringLiteral("Icon"));
    return result;
}

std::optional<DesktopEntry> findEntry(const QString& id)
{
    if (!id.endsWith(QLatin1String(".desktop")) || id.contains(QLatin1Char('/')))
        return std::nullopt;
    // "kde-foo.desktop" may live as kde/foo.desktop: the id writes folders as
    // dashes.
    QStringList relatives{id};
    if (const qsizetype dash = id.indexOf(QLatin1Char('-')); dash > 0)
        relatives << id.left(dash) + QLatin1Char('/') + id.mid(dash + 1);
    for (const QString& dir : applicationDirs()) {
        for (const QString& relative : relatives) {
            const QString path = dir + QLatin1Char('/') + relative;
            if (QFileInfo(path).isFile())
                return readEntry(path, id); // the first file found decides, even if hidden
        }
    }
    return std::nullopt;
}

std::optional<DesktopEntry> forMimeType(const QString& mimeType)
{
    return Resolver().resolve(mimeType);
}

} // namespace ovra::DefaultApplication
