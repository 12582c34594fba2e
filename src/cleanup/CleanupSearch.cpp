#include "CleanupSearch.h"

#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/MetadataIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QProcess>
#include <QStandardPaths>

#include <algorithm>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra {

QString cleanupTitle(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers: return QStringLiteral("Old Installers");
    case CleanupKind::oldDownloads: return QStringLiteral("Forgotten Downloads");
    case CleanupKind::oldScreenshots: return QStringLiteral("Old Screenshots");
    case CleanupKind::bigOldVideos: return QStringLiteral("Big Old Videos");
    case CleanupKind::unusedApps: return QStringLiteral("Unused Apps");
    }
    return {};
}

QString cleanupSymbol(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers: return QStringLiteral("shippingbox");
    case CleanupKind::oldDownloads: return QStringLiteral("arrow.down.circle");
    case CleanupKind::oldScreenshots: return QStringLiteral("camera.viewfinder");
    case CleanupKind::bigOldVideos: return QStringLiteral("film.stack");
    case CleanupKind::unusedApps: return QStringLiteral("app.dashed");
    }
    return {};
}

int cleanupTintIndex(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers: return 5;
    case CleanupKind::oldDownloads: return 1;
    case CleanupKind::oldScreenshots: return 4;
    case CleanupKind::bigOldVideos: return 0;
    case CleanupKind::unusedApps: return 3;
    }
    return 0;
}

QString cleanupDescription(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers:
        return QStringLiteral("Disk images and installer packages older than a week. Once an app "
                              "is installed, these are just taking up space.");
    case CleanupKind::oldDownloads:
        return QStringLiteral("Loose files in Downloads you haven't opened or changed in 3 "
                              "months. Folders inside Downloads are left alone.");
    case CleanupKind::oldScreenshots:
        return QStringLiteral(
            "Screenshots older than 30 days. Most were only needed for a moment.");
    case CleanupKind::bigOldVideos:
        return QStringLiteral("Videos over 200 MB you haven't opened in 6 months.");
    case CleanupKind::unusedApps:
        return QStringLiteral("Apps you haven't opened in 6 months, or ever.");
    }
    return {};
}

namespace CleanupSearch {

namespace {

const QString kSizeKey = QStringLiteral("kMDItemFSSize");
constexpr std::int64_t kMaxEntryBytes = 256 * 1024;

// By its path: an application item carries its entry's Name, not its file name.
bool isDesktopEntry(const FileItem& item)
{
    return item.path.endsWith(QLatin1String(".desktop"));
}

// The keys of a desktop entry's main group that decide whether it is an
// application and which program it starts.
struct EntryKeys {
    bool isApplication = false;
    QString executable;
};

EntryKeys readEntryKeys(const QString& path)
{
    EntryKeys keys;
    // Read as every user file is: looking at an app must not make it look used
    // to the next search.
    const std::optional<UserFile> file = UserFile::open(path);
    if (!file) return keys;
    bool wasCut = false;
    // Entries are a few kilobytes; anything far larger is not one.
    const QByteArray text = file->readHead(kMaxEntryBytes, &wasCut);
    if (wasCut) return keys;
    const KeyFile::Group main = KeyFile::parse(text).group(QStringLiteral("Desktop Entry"));
    const QString type = main.value(QStringLiteral("Type"));
    const bool hidden = main.value(QStringLiteral("Hidden")) == QLatin1String("true");
    const QString exec = main.value(QStringLiteral("Exec"));
    const QString tryExec = main.value(QStringLiteral("TryExec"));
    keys.isApplication = type == QLatin1String("Application") && !hidden;
    QString program = tryExec;
    if (program.isEmpty()) {
        // The first word of the command line that is not an environment setting.
        const QStringList words = QProcess::splitCommand(exec);
        for (const QString& word : words) {
            if (word == QLatin1String("env") || word.contains(u'=')) continue;
            program = word;
            break;
        }
    }
    if (!program.isEmpty())
        keys.executable =
            program.contains(u'/') ? program : QStandardPaths::findExecutable(program);
    return keys;
}

qint64 regularFileSize(const QString& path)
{
    struct stat st {};
    if (path.isEmpty() || ::stat(QFile::encodeName(path).constData(), &st) != 0) return 0;
    return S_ISREG(st.st_mode) ? qint64(st.st_size) : 0;
}

bool folderIsWritable(const QString& path)
{
    const QString folder = path.section(u'/', 0, -2);
    return ::access(QFile::encodeName(folder.isEmpty() ? QStringLiteral("/") : folder).constData(),
                    W_OK) == 0;
}

} // namespace

QString queryString(CleanupKind kind)
{
    switch (kind) {
    case CleanupKind::installers:
        return QStringLiteral("kMDItemContentTypeTree == 'org.ovra.installer' && "
                              "kMDItemFSContentChangeDate < $time.today(-7)");
    case CleanupKind::oldDownloads: return {};
    case CleanupKind::oldScreenshots:
        return QStringLiteral(
            "kMDItemIsScreenCapture == 1 && kMDItemFSContentChangeDate < $time.today(-30)");
    case CleanupKind::bigOldVideos:
        return QStringLiteral("kMDItemContentTypeTree == 'public.movie' && kMDItemFSName != "
                              "'*.ts'c && kMDItemFSSize > 200000000 && kMDItemFSContentChangeDate "
                              "< $time.today(-180) && (kMDItemLastUsedDate < $time.today(-180) || "
                              "kMDItemLastUsedDate != *)");
    case CleanupKind::unusedApps:
        return QStringLiteral("kMDItemContentTypeTree == 'com.apple.application-bundle' && "
                              "(kMDItemLastUsedDate < $time.today(-180) || kMDItemLastUsedDate != "
                              "*)");
    }
    return {};
}

QStringList userApplicationFolders()
{
    return {xdg::home() + QStringLiteral("/Applications"),
            xdg::dataHome() + QStringLiteral("/applications")};
}

QStringList scopesFor(CleanupKind kind, const QStringList& scopes)
{
    return kind == CleanupKind::unusedApps ? userApplicationFolders() : scopes;
}

bool acceptCleanupItem(const FileItem& item, CleanupKind kind)
{
    if (kind != CleanupKind::unusedApps) {
        // A file whose modification date is unknown is not known to be old.
        return item.category != FileCategory::folders && item.modified > kDistantPast;
    }
    if (item.category != FileCategory::apps) return false;
    // Only what the user may move to the Trash is suggested.
    if (!folderIsWritable(item.path)) return false;
    if (isDesktopEntry(item)) {
        const EntryKeys keys = readEntryKeys(item.path);
        // The desktop file id is the app's identity; an entry that is not an
        // application (a link, a hidden entry) is not one.
        return keys.isApplication && !item.name.isEmpty();
    }
    return true;
}

SpotlightResult measureAppBundles(const SpotlightResult& found)
{
    SpotlightResult out;
    out.totalCount = found.totalCount;
    out.items = found.items;
    for (FileItem& item : out.items) {
        if (isDesktopEntry(item)) {
            const EntryKeys keys = readEntryKeys(item.path);
            const qint64 executable = regularFileSize(keys.executable);
            item.size = executable > 0 ? executable : regularFileSize(item.path);
        } else {
            item.size = regularFileSize(item.path);
        }
    }
    std::stable_sort(out.items.begin(), out.items.end(),
                     [](const FileItem& a, const FileItem& b) { return a.size > b.size; });
    for (const FileItem& item : out.items)
        out.totalSize += item.size;
    return out;
}

SpotlightResult forgottenDownloads(md::MetadataIndex& index, const QString& downloads, double now)
{
    SpotlightResult out;
    const double cutoff = now - kForgottenAfterSeconds;
    const QDir folder(downloads);
    const QStringList names =
        folder.entryList(QDir::AllEntries | QDir::NoDotAndDotDot | QDir::System, QDir::NoSort);
    for (const QString& name : names) {
        const std::optional<FileItem> item = FileItem::fromPath(folder.filePath(name));
        if (!item || item->category == FileCategory::apps ||
            item->category == FileCategory::folders)
            continue;
        // An unknown modification date (the distant past) says nothing of age.
        if (item->modified <= kDistantPast || item->modified >= cutoff) continue;
        const std::optional<md::Item> record = index.itemAtPath(item->path);
        if (record && record->lastUsedDate && *record->lastUsedDate >= cutoff) continue;
        out.items.append(*item);
    }
    std::stable_sort(out.items.begin(), out.items.end(),
                     [](const FileItem& a, const FileItem& b) { return a.size > b.size; });
    out.totalCount = out.items.size();
    for (const FileItem& item : out.items)
        out.totalSize += item.size;
    return out;
}

SpotlightResult run(md::MetadataIndex& index, CleanupKind kind, const QStringList& scopes,
                    const std::function<bool()>& isCancelled)
{
    if (kind == CleanupKind::oldDownloads) {
        return forgottenDownloads(index, xdg::userDir(xdg::UserDir::Downloads),
                                  double(QDateTime::currentSecsSinceEpoch()));
    }
    const SpotlightResult found = Spotlight::runBlocking(
        index, queryString(kind), scopesFor(kind, scopes), kSizeKey, kListLimit,
        [kind](const FileItem& item) { return acceptCleanupItem(item, kind); }, isCancelled);
    return kind == CleanupKind::unusedApps ? measureAppBundles(found) : found;
}

} // namespace CleanupSearch

} // namespace ovra
