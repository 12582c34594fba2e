#include "PathText.h"

#include "library/Location.h"
#include "platform/PathKey.h"

namespace ovra {

QString displayName(const QString& path)
{
    const QString key = pathKey(path);
    if (key == QLatin1String("/")) return key;
    return key.mid(key.lastIndexOf(QLatin1Char('/')) + 1);
}

QString tildePath(const QString& path)
{
    return tildePath(path, Location::home());
}

QString tildePath(const QString& path, const QString& home)
{
    const QString base = pathKey(home);
    // A home at the root would make every path "~…"; say nothing then.
    if (base == QLatin1String("/")) return path;
    const QString below = pathBelow(path, base);
    if (below.isNull()) return path;
    return below.isEmpty() ? QStringLiteral("~") : QStringLiteral("~/") + below;
}

} // namespace ovra
