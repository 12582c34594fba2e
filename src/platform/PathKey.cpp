#include "PathKey.h"

#include <QDir>

namespace ovra {

namespace {

// Paths from the index and from listings are already clean: telling so costs one
// pass, where cleaning costs a split and a join.
bool isAlreadyKey(QStringView path)
{
    if (!path.startsWith(u'/')) return false;
    if (path.size() == 1) return true;
    if (path.endsWith(u'/')) return false;
    for (qsizetype i = 0; i < path.size(); ++i) {
        if (path[i] != u'/') continue;
        const QStringView rest = path.mid(i + 1);
        if (rest.startsWith(u'/') || rest == u"." || rest == u".." || rest.startsWith(u"./") ||
            rest.startsWith(u"../"))
            return false;
    }
    return true;
}

} // namespace

QString pathKey(QStringView path)
{
    if (path.isEmpty()) return {};
    if (isAlreadyKey(path)) return path.toString();
    QString absolute =
        path.startsWith(u'/') ? path.toString() : QDir::currentPath() + u'/' + path.toString();
    QString cleaned = QDir::cleanPath(absolute);
    while (cleaned.size() > 1 && cleaned.endsWith(u'/'))
        cleaned.chop(1);
    return cleaned;
}

QString pathKey(const QString& path)
{
    return isAlreadyKey(path) ? path : pathKey(QStringView(path));
}

bool pathIsInside(QStringView path, QStringView folder)
{
    if (folder == u"/") return path.startsWith(u'/');
    if (!path.startsWith(folder)) return false;
    return path.size() == folder.size() || path.at(folder.size()) == u'/';
}

QString pathBelow(QStringView path, QStringView folder)
{
    if (!pathIsInside(path, folder)) return {};
    if (folder == u"/") return path.mid(1).toString();
    if (path.size() == folder.size()) return QString(u""_qs);
    return path.mid(folder.size() + 1).toString();
}

QString pathExtension(QStringView path)
{
    const QStringView name = path.mid(path.lastIndexOf(u'/') + 1);
    const qsizetype dot = name.lastIndexOf(u'.');
    if (dot <= 0) return {};
    return name.mid(dot + 1).toString().toLower();
}

} // namespace ovra
