#include "PathKey.h"

#include <QDir>

namespace ovra {

QString pathKey(QStringView path)
{
    if (path.isEmpty()) return {};
    QString absolute = path.startsWith(u'/') ? path.toString()
                                             : QDir::currentPath() + u'/' + path.toString();
    QString cleaned = QDir::cleanPath(absolute);
    while (cleaned.size() > 1 && cleaned.endsWith(u'/')) cleaned.chop(1);
    return cleaned;
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

} // namespace ovra
