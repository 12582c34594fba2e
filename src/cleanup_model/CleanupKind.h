#pragma once

#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace ovra {

// The five kinds of cleanup suggestion, in the order the app lists them.
enum class CleanupKind { installers, oldDownloads, oldScreenshots, bigOldVideos, unusedApps };

inline constexpr std::array<CleanupKind, 5> kAllCleanupKinds{
    CleanupKind::installers, CleanupKind::oldDownloads, CleanupKind::oldScreenshots,
    CleanupKind::bigOldVideos, CleanupKind::unusedApps};

QString rawValue(CleanupKind kind);
std::optional<CleanupKind> cleanupKindFromRaw(QStringView raw);

} // namespace ovra
