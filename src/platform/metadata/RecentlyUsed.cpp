#include "ContentAttributes.h"

#include "../OwnFile.h"
#include "../PathKey.h"

#include <QDateTime>
#include <QUrl>
#include <QXmlStreamReader>

#include <algorithm>
#include <limits>

namespace ovra::md {

namespace {

constexpr double kNoTime = std::numeric_limits<double>::lowest();
// The desktop keeps the list to some hundreds of entries, well under a megabyte.
constexpr std::int64_t kMaxListBytes = 64 * 1024 * 1024;

std::optional<double> xbelTime(QStringView text)
{
    if (text.isEmpty()) return std::nullopt;
    const QDateTime stamp = QDateTime::fromString(text.toString(), Qt::ISODateWithMs);
    if (!stamp.isValid()) return std::nullopt;
    return double(stamp.toMSecsSinceEpoch()) / 1000.0;
}

// The absolute local path an href names, or nothing for other hosts and schemes.
QString localPath(QStringView href)
{
    const QUrl url(href.toString(), QUrl::StrictMode);
    if (!url.isValid() || !url.isLocalFile()) return {};
    if (!url.host().isEmpty() && url.host() != u"localhost") return {};
    const QString path = url.toLocalFile();
    // Keyed as every file map of ours is, so a lookup by path key finds it.
    return path.startsWith(u'/') ? pathKey(path) : QString();
}

} // namespace

QHash<QString, double> readRecentlyUsed(const QString& xbelPath)
{
    QHash<QString, double> lastUsed;
    QXmlStreamReader xml(OwnFile::read(xbelPath, {kMaxListBytes}));
    // On damage the reader stops with an error; what it read before stays.
    while (!xml.atEnd() && !xml.hasError()) {
        if (xml.readNext() != QXmlStreamReader::StartElement || xml.qualifiedName() != u"bookmark")
            continue;
        const QXmlStreamAttributes attributes = xml.attributes();
        const QString path = localPath(attributes.value(QLatin1String("href")));
        if (path.isEmpty()) continue;
        const auto modified = xbelTime(attributes.value(QLatin1String("modified")));
        const auto visited = xbelTime(attributes.value(QLatin1String("visited")));
        if (!modified && !visited) continue;
        const double latest = std::max(modified.value_or(kNoTime), visited.value_or(kNoTime));
        auto it = lastUsed.find(path);
        if (it == lastUsed.end())
            lastUsed.insert(path, latest);
        else if (latest > *it)
            *it = latest;
    }
    return lastUsed;
}

} // namespace ovra::md
