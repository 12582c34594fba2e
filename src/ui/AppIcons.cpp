#include "AppIcons.h"

#include "Symbols.h"
#include "Theme.h"
#include "desktop/DefaultApplication.h"
#include "library/Location.h"
#include "platform/PathKey.h"
#include "platform/XdgPaths.h"

#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QMimeDatabase>

namespace ovra::AppIcons {

namespace {

const QString kFallbackTheme = QStringLiteral("Adwaita");
const QString kGenericApplication = QStringLiteral("application-x-executable");

// Without a desktop theme plugin Qt may know no icon theme at all ("hicolor"
// holds only application icons). The Adwaita theme is installed with the app:
// let it fill in wherever the desktop's own theme has nothing.
void prepareIconTheme()
{
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    if (QIcon::fallbackThemeName().isEmpty() ||
        QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(kFallbackTheme);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(kFallbackTheme);

    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         {QStringLiteral("/usr/local/share/icons"), QStringLiteral("/usr/share/icons")}) {
        if (!paths.contains(dir) && QFileInfo::exists(dir + QLatin1Char('/') + kFallbackTheme))
            paths << dir;
    }
    QIcon::setThemeSearchPaths(paths);
}

QHash<QString, QIcon>& cache()
{
    static QHash<QString, QIcon> icons;
    return icons;
}

QIcon themeIcon(const QString& name)
{
    if (name.isEmpty() || !QIcon::hasThemeIcon(name)) return {};
    return QIcon::fromTheme(name);
}

// A desktop entry's Icon: a theme name, or an absolute file; some entries
// write the name with an image extension.
QIcon entryIcon(const QString& icon)
{
    if (icon.isEmpty()) return {};
    if (QDir::isAbsolutePath(icon)) return QFileInfo::exists(icon) ? QIcon(icon) : QIcon();
    QString name = icon;
    for (const char* extension : {".png", ".svg", ".xpm"})
        if (name.endsWith(QLatin1String(extension))) name.chop(4);
    if (QIcon found = themeIcon(name); !found.isNull()) return found;
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        const QString pixmap =
            QStringLiteral("/usr/share/pixmaps/") + name + QLatin1String(extension);
        if (QFileInfo::exists(pixmap)) return QIcon(pixmap);
    }
    return {};
}

// The special folders keep the icons a file manager gives them.
QString folderIconName(const QString& path)
{
    const QString key = pathKey(path);
    if (key == Location::home()) return QStringLiteral("user-home");
    const std::pair<xdg::UserDir, const char*> special[] = {
        {xdg::UserDir::Desktop, "user-desktop"},      {xdg::UserDir::Documents, "folder-documents"},
        {xdg::UserDir::Downloads, "folder-download"}, {xdg::UserDir::Music, "folder-music"},
        {xdg::UserDir::Pictures, "folder-pictures"},  {xdg::UserDir::Videos, "folder-videos"}};
    for (const auto& [dir, name] : special)
        if (pathKey(xdg::userDir(dir)) == key) return QLatin1String(name);
    return QStringLiteral("folder");
}

QIcon lookUpIcon(const QString& path)
{
    const QFileInfo info(path);
    if (info.isDir()) {
        if (QIcon found = themeIcon(folderIconName(path)); !found.isNull()) return found;
    } else if (pathExtension(path) == u"desktop") {
        if (const auto entry = DesktopEntry::read(path))
            if (QIcon found = entryIcon(entry->icon); !found.isNull()) return found;
    }

    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    for (const QString& name : {type.iconName(), type.genericIconName()})
        if (QIcon found = themeIcon(name); !found.isNull()) return found;

    if (QIcon provided = QFileIconProvider().icon(info); !provided.isNull()) return provided;
    return Symbols::icon(info.isDir() ? QStringLiteral("folder") : QStringLiteral("doc"),
                         Theme::secondary());
}

QIcon applicationIcon(const DesktopEntry& entry)
{
    if (QIcon found = entryIcon(entry.icon); !found.isNull()) return found;
    if (QIcon generic = themeIcon(kGenericApplication); !generic.isNull()) return generic;
    return Symbols::icon(QStringLiteral("app.dashed"), Theme::secondary());
}

} // namespace

QIcon icon(const QString& path)
{
    prepareIconTheme();
    QHash<QString, QIcon>& icons = cache();
    if (auto it = icons.constFind(path); it != icons.constEnd()) return *it;
    const QIcon found = lookUpIcon(path);
    icons.insert(path, found);
    return found;
}

std::optional<QIcon> defaultApp(const FileItem& item)
{
    if (item.category == FileCategory::apps || item.category == FileCategory::folders)
        return std::nullopt;
    prepareIconTheme();
    // By name alone: reading the file's content on the GUI thread would buy
    // nothing. Keyed by the type, not the extension: files without one
    // ("Makefile", "README") are of many types and open in different
    // applications.
    const QString mimeType =
        QMimeDatabase().mimeTypeForFile(item.path, QMimeDatabase::MatchExtension).name();
    // Paths begin with a slash and type names never do: the two kinds of key
    // share the cache without meeting.
    const QString key = mimeType;
    QHash<QString, QIcon>& icons = cache();
    if (auto it = icons.constFind(key); it != icons.constEnd()) return *it;
    const auto application = DefaultApplication::forMimeType(mimeType);
    if (!application) return std::nullopt;
    const QIcon found = applicationIcon(*application);
    icons.insert(key, found);
    return found;
}

} // namespace ovra::AppIcons
