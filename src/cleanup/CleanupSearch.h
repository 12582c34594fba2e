#pragma once

#include "cleanup_model/CleanupKind.h"
#include "library/FileItem.h"
#include "library/Spotlight.h"

#include <QString>
#include <QStringList>

#include <functional>

namespace ovra {

namespace md {
class MetadataIndex;
}

// What every screen shows of a cleanup kind.
QString cleanupTitle(CleanupKind kind);
QString cleanupSymbol(CleanupKind kind);
// The entry of the theme's six pastels that tints the kind.
int cleanupTintIndex(CleanupKind kind);
QString cleanupDescription(CleanupKind kind);

// How each kind finds its candidates. Everything here blocks and touches the
// file system: call it on a worker thread.
namespace CleanupSearch {

// Every queried kind lists at most this many items; its totals count them all.
inline constexpr qsizetype kListLimit = 5000;
// Files in Downloads untouched for this long are forgotten.
inline constexpr double kForgottenAfterSeconds = 90 * 86400.0;

// The metadata query of a queried kind; empty for the forgotten downloads,
// which list their folder instead.
QString queryString(CleanupKind kind);
// Where a queried kind looks: the store's scopes, except for the unused apps,
// which look only in the user's own applications folders.
QStringList scopesFor(CleanupKind kind, const QStringList& scopes);
// The user's own applications folders (~/Applications, the data home's
// applications), whether or not they exist: apps of the system's folders
// cannot be moved to the Trash by the user, so they are never suggested.
QStringList userApplicationFolders();

// Whether a query's match is suggested. Runs on the query's worker threads.
bool acceptCleanupItem(const FileItem& item, CleanupKind kind);

// The unused apps take their size from what they are on disk: an AppImage's
// own size, a desktop entry's executable's size when it resolves (else the
// entry's own). Listed largest first; the total size covers the listed apps.
SpotlightResult measureAppBundles(const SpotlightResult& found);

// The loose files directly inside `downloads` that were neither changed nor
// used since `now` minus 90 days, largest first, all of them. The last-used
// date comes from the index's record of each file.
SpotlightResult forgottenDownloads(md::MetadataIndex& index, const QString& downloads, double now);

// One kind's whole search, as the store runs it.
SpotlightResult run(md::MetadataIndex& index, CleanupKind kind, const QStringList& scopes,
                    const std::function<bool()>& isCancelled = {});

} // namespace CleanupSearch

} // namespace ovra
