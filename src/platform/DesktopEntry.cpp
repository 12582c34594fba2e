#include "DesktopEntry.h"

#include "OwnFile.h"
#include "UserFile.h"

#include <QFileInfo>
#include <QLocale>

#include <algorithm>

namespace ovra {

namespace {

const QString kEntryGroup = QStringLiteral("Desktop Entry");
// No real desktop entry comes near this; a larger file is not one worth reading.
constexpr qint64 kMaxEntryBytes = 256 * 1024;
// The MIME caches of a desktop with many applications run to megabytes.
constexpr qint64 kMaxKeyFileBytes = 64 * 1024 * 1024;

} // namespace

KeyFile KeyFile::parse(QByteArrayView text)
{
    KeyFile file;
    QString group;
    for (qsizetype start = 0; start < text.size();) {
        qsizetype end = text.indexOf('\n', start);
        if (end < 0) end = text.size();
        const QString line = QString::fromUtf8(text.sliced(start, end - start)).trimmed();
        start = end + 1;
        if (line.isEmpty() || line.startsWith(u'#')) continue;
        if (line.startsWith(u'[') && line.endsWith(u']')) {
            group = line.mid(1, line.size() - 2);
            continue;
        }
        const qsizetype equals = line.indexOf(u'=');
        if (equals <= 0 || group.isEmpty()) continue;
        const QString key = line.left(equals).trimmed();
        Group& values = file.groups[group];
        if (!values.contains(key)) values.insert(key, line.mid(equals + 1).trimmed());
    }
    return file;
}

KeyFile KeyFile::read(const QString& path)
{
    return parse(OwnFile::read(path, {kMaxKeyFileBytes}));
}

QString localizedValue(const KeyFile::Group& group, const QString& key, const QString& locale)
{
    const QString name = locale.section(u'@', 0, 0).section(u'.', 0, 0);
    for (const QString& tag : {name, name.section(u'_', 0, 0)}) {
        if (tag.isEmpty()) continue;
        const QString value = group.value(key + u'[' + tag + u']');
        if (!value.isEmpty()) return value;
    }
    return group.value(key);
}

std::optional<DesktopEntry> DesktopEntry::fromKeyFile(const KeyFile& file, const QString& path,
                                                      const QString& id)
{
    const auto found = file.groups.constFind(kEntryGroup);
    if (found == file.groups.constEnd()) return std::nullopt;
    const KeyFile::Group& entry = *found;
    const QString type = entry.value(QStringLiteral("Type"), QStringLiteral("Application"));
    if (type != u"Application" || entry.value(QStringLiteral("Hidden")) == u"true")
        return std::nullopt;
    DesktopEntry result;
    result.id = id.isEmpty() ? QFileInfo(path).fileName() : id;
    result.path = path;
    result.name = localizedValue(entry, QStringLiteral("Name"), QLocale().name());
    result.icon = entry.value(QStringLiteral("Icon"));
    return result;
}

std::optional<DesktopEntry> DesktopEntry::read(const QString& path, const QString& id)
{
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return std::nullopt;
    return fromKeyFile(KeyFile::parse(file->readHead(kMaxEntryBytes)), path, id);
}

} // namespace ovra
