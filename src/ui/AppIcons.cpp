#include "AppIcons.h"

#include "Symbols.h"
#include "Theme.h"
#include "desktop/DefaultApplication.h"
#include "desktop/IconTheme.h"
#include "library/Location.h"
#include "platform/Background.h"
#include "platform/PathKey.h"
#include "platform/XdgPaths.h"

#include <QCoreApplication>
#include <QDir>
#include <QFileIconProvider>
#include <QFileInfo>
#include <QHash>
#include <QImage>
#include <QMimeDatabase>
#include <QPixmap>
#include <QSet>

namespace ovra::AppIcons {

namespace {

const QString kFallbackTheme = QStringLiteral("Adwaita");
const QString kGenericApplication = QStringLiteral("application-x-executable");

// Without a desktop theme plugin Qt may know no icon theme at all ("hicolor"
// holds only application icons). The Adwaita theme is installed with the app:
// let it fill in wherever the desktop's own theme has nothing. A search path
// that is not there costs nothing, so none is checked here.
void prepareIconTheme()
{
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    IconTheme::setDesktopTheme(QIcon::themeName());
    if (QIcon::fallbackThemeName().isEmpty() ||
        QIcon::fallbackThemeName() == QLatin1String("hicolor"))
        QIcon::setFallbackThemeName(kFallbackTheme);
    if (QIcon::themeName().isEmpty()) QIcon::setThemeName(kFallbackTheme);

    QStringList paths = QIcon::themeSearchPaths();
    for (const QString& dir :
         {QStringLiteral("/usr/local/share/icons"), QStringLiteral("/usr/share/icons")}) {
        if (!paths.contains(dir)) paths << dir;
    }
    QIcon::setThemeSearchPaths(paths);
}

// A desktop entry's Icon as read on a pool thread: a theme name to try, and the
// picture of the file it names (or of the pixmaps folder's file of that name,
// used when the theme has none).
struct EntryIcon {
    QString themeName;
    QImage image;
};

EntryIcon readEntryIcon(const QString& icon)
{
    EntryIcon result;
    if (icon.isEmpty()) return result;
    if (QDir::isAbsolutePath(icon)) {
        if (QFileInfo(icon).isFile()) result.image = QImage(icon);
        return result;
    }
    QString name = icon;
    for (const char* extension : {".png", ".svg", ".xpm"})
        if (name.endsWith(QLatin1String(extension))) name.chop(4);
    result.themeName = name;
    for (const char* extension : {".png", ".svg", ".xpm"}) {
        const QString pixmap =
            QStringLiteral("/usr/share/pixmaps/") + name + QLatin1String(extension);
        if (QFileInfo(pixmap).isFile()) {
            result.image = QImage(pixmap);
            break;
        }
    }
    return result;
}

// What decides the icon of a path, read on a pool thread.
struct PathFacts {
    bool isFolder = false;
    QString folderIconName;
    std::optional<EntryIcon> entry;
    QStringList typeIconNames;
};

// What decides the application icon of a file, read on a pool thread.
struct AppFacts {
    QString mimeType;
    std::optional<EntryIcon> application; // none when nothing installed opens it
};

struct State {
    QHash<QString, QIcon> icons;       // by path, and by MIME type for applications
    QHash<QString, QString> pathTypes; // a path's MIME type, by its name
    QSet<QString> pending;             // paths being looked up
    int running = 0;
};

State& state()
{
    static State s;
    return s;
}

QIcon themeIcon(const QString& name)
{
    if (name.isEmpty() || !QIcon::hasThemeIcon(name)) return {};
    return QIcon::fromTheme(name);
}

QIcon entryIcon(const EntryIcon& icon)
{
    if (QIcon found = themeIcon(icon.themeName); !found.isNull()) return found;
    if (!icon.image.isNull()) return QIcon(QPixmap::fromImage(icon.image));
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

PathFacts readPathFacts(const QString& path)
{
    PathFacts facts;
    const QFileInfo info(path);
    facts.isFolder = info.isDir();
    if (facts.isFolder) {
        facts.folderIconName = folderIconName(path);
    } else if (pathExtension(path) == u"desktop") {
        if (const auto entry = DesktopEntry::read(path)) facts.entry = readEntryIcon(entry->icon);
    }
    const QMimeType type = QMimeDatabase().mimeTypeForFile(info);
    facts.typeIconNames = {type.iconName(), type.genericIconName()};
    return facts;
}

QIcon pathIcon(const PathFacts& facts)
{
    if (facts.isFolder) {
        if (QIcon found = themeIcon(facts.folderIconName); !found.isNull()) return found;
    } else if (facts.entry) {
        if (QIcon found = entryIcon(*facts.entry); !found.isNull()) return found;
    }
    for (const QString& name : facts.typeIconNames)
        if (QIcon found = themeIcon(name); !found.isNull()) return found;
    if (QIcon provided = QFileIconProvider().icon(facts.isFolder ? QFileIconProvider::Folder
                                                                 : QFileIconProvider::File);
        !provided.isNull())
        return provided;
    return Symbols::icon(facts.isFolder ? QStringLiteral("folder") : QStringLiteral("doc"),
                         Theme::secondary());
}

AppFacts readAppFacts(const QString& path)
{
    AppFacts facts;
    // By name alone: reading the file's content would buy nothing. Keyed by the
    // type, not the extension: files without one ("Makefile", "README") are of
    // many types and open in different applications.
    facts.mimeType = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (const auto application = DefaultApplication::forMimeType(facts.mimeType))
        facts.application = readEntryIcon(application->icon);
    return facts;
}

QIcon applicationIcon(const EntryIcon& entry)
{
    if (QIcon found = entryIcon(entry); !found.isNull()) return found;
    if (QIcon generic = themeIcon(kGenericApplication); !generic.isNull()) return generic;
    return Symbols::icon(QStringLiteral("app.dashed"), Theme::secondary());
}

// Reads on a pool thread and lands on the GUI thread; a key already being
// looked up is not asked twice.
template <typename Facts>
void lookUp(const QString& key, const QString& path, Facts (*read)(const QString&),
            void (*land)(const QString&, const Facts&))
{
    State& s = state();
    if (s.pending.contains(key)) return;
    s.pending.insert(key);
    ++s.running;
    notifier()
        ->tasks.run(background::Pool::files, [path, read] { return read(path); })
        .then(notifier(), [key, path, land](const Facts& facts) {
            State& s = state();
            s.pending.remove(key);
            --s.running;
            land(path, facts);
        });
}

void landPath(const QString& path, const PathFacts& facts)
{
    state().icons.insert(path, pathIcon(facts));
    emit notifier()->iconsArrived();
}

void landApp(const QString& path, const AppFacts& facts)
{
    State& s = state();
    s.pathTypes.insert(path, facts.mimeType);
    // The first answer for a type stands. Paths begin with a slash and type
    // names never do: the two kinds of key share the cache without meeting.
    if (s.icons.contains(facts.mimeType)) {
        emit notifier()->iconsArrived();
    } else if (facts.application) {
        s.icons.insert(facts.mimeType, applicationIcon(*facts.application));
        emit notifier()->iconsArrived();
    }
    // No application: nothing is stored, and nothing said, so the rows asking
    // do not ask again at once.
}

} // namespace

Notifier* notifier()
{
    static Notifier* instance = new Notifier(QCoreApplication::instance());
    return instance;
}

QIcon icon(const QString& path)
{
    prepareIconTheme();
    State& s = state();
    if (auto it = s.icons.constFind(path); it != s.icons.constEnd()) return *it;
    lookUp<PathFacts>(path, path, readPathFacts, landPath);
    return {};
}

std::optional<QIcon> defaultApp(const FileItem& item)
{
    if (item.category == FileCategory::apps || item.category == FileCategory::folders)
        return std::nullopt;
    prepareIconTheme();
    State& s = state();
    if (auto type = s.pathTypes.constFind(item.path); type != s.pathTypes.constEnd()) {
        if (auto it = s.icons.constFind(*type); it != s.icons.constEnd()) return *it;
        // Known type, no application yet: look again, as one may be installed.
    }
    lookUp<AppFacts>(QStringLiteral("app:") + item.path, item.path, readAppFacts, landApp);
    return std::nullopt;
}

bool isLookingUp()
{
    return state().running > 0;
}

} // namespace ovra::AppIcons
