#include "CleanupKind.h"

namespace ovra {

QString rawValue(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers: return QStringLiteral("installers");
    case CleanupKind::oldDownloads: return QStringLiteral("oldDownloads");
    case CleanupKind::oldScreenshots: return QStringLiteral("oldScreenshots");
    case CleanupKind::bigOldVideos: return QStringLiteral("bigOldVideos");
    case CleanupKind::unusedApps: return QStringLiteral("unusedApps");
    }
    return {};
}

std::optional<CleanupKind> cleanupKindFromRaw(QStringView raw)
{
    for (CleanupKind kind : kAllCleanupKinds)
        if (raw == rawValue(kind)) return kind;
    return std::nullopt;
}

} // namespace ovra
