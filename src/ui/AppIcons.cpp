#include "AppIcons.h"

#include "Symbols.h"
#include "Theme.h"
#include "desktop/DefaultApplication.h"
#include "desktop/FileIcon.h"
#include "desktop/IconTheme.h"
#include "platform/Background.h"

#include <QCache>
#include <QCoreApplication>
#include <QHash>
#include <QImage>
#include <QMimeDatabase>
#include <QPixmap>
#include <QSet>

namespace ovra::AppIcons {

namespace {

// Drawn at this size, QIcon scales down for the rows and the sidebar.
constexpr int kIconSide = 64;
const QString kGenericApplication = QStringLiteral("application-x-executable");

// The desktop's icon theme, as Qt learnt it from the platform, is where our own
// reader looks first.
void prepareIconTheme()
{
    static bool prepared = false;
    if (prepared) return;
    prepared = true;
    IconTheme::setDesktopTheme(QIcon::themeName());
}

// What decides the icon of a path, read on a pool thread.
struct PathFacts {
    bool isFolder = false;
    QImage image; // null when no theme has an icon for it
};

// What decides the application icon of a file, read on a pool thread.
struct AppFacts {
    QString mimeType;
    bool hasApplication = false; // false when nothing installed opens it
    QImage image;                // its icon, null when none is found
};

// The paths whose MIME types are remembered: a few screens of rows. A table of
// every path ever shown would grow with each scrolled page, and each time it
// doubled it would stop the GUI thread to rehash all of them.
constexpr int kRememberedPathTypes = 4096;

struct State {
    QHash<QString, QIcon> icons; // by path, and by MIME type for applications
    // A path's MIME type, by its name; a path forgotten is looked up again.
    QCache<QString, QString> pathTypes{kRememberedPathTypes};
    QSet<QString> pending; // paths being looked up
    int running = 0;
};

State& state()
{
    static State s;
    return s;
}

// Icons are looked up and drawn on pool threads by our own theme reader: Qt's
// theme loader reads the theme's folders on the GUI thread.
QImage themeImage(const QStringList& names)
{
    return IconTheme::shared().image(names, kIconSide);
}

PathFacts readPathFacts(const QString& path)
{
    const FileIconFacts facts = fileIconFacts(path);
    return {facts.isFolder, fileIcon(facts, kIconSide)};
}

QIcon pathIcon(const PathFacts& facts)
{
    if (!facts.image.isNull()) return QIcon(QPixmap::fromImage(facts.image));
    return Symbols::icon(facts.isFolder ? QStringLiteral("folder") : QStringLiteral("doc"),
                         &Theme::secondary);
}

AppFacts readAppFacts(const QString& path)
{
    AppFacts facts;
    // By name alone: reading the file's content would buy nothing. Keyed by the
    // type, not the extension: files without one ("Makefile", "README") are of
    // many types and open in different applications.
    facts.mimeType = QMimeDatabase().mimeTypeForFile(path, QMimeDatabase::MatchExtension).name();
    if (const auto application = DefaultApplication::forMimeType(facts.mimeType)) {
        facts.hasApplication = true;
        facts.image = desktopEntryIcon(application->icon, kIconSide);
        if (facts.image.isNull()) facts.image = themeImage({kGenericApplication});
    }
    return facts;
}

QIcon applicationIcon(const AppFacts& facts)
{
    if (!facts.image.isNull()) return QIcon(QPixmap::fromImage(facts.image));
    return Symbols::icon(QStringLiteral("app.dashed"), &Theme::secondary);
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
    background::then(
        notifier()->tasks.run(background::Pool::files, [path, read] { return read(path); }),
        notifier(), [key, path, land](const Facts& facts) {
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
    s.pathTypes.insert(path, new QString(facts.mimeType));
    // The first answer for a type stands. Paths begin with a slash and type
    // names never do: the two kinds of key share the cache without meeting.
    if (s.icons.contains(facts.mimeType)) {
        emit notifier()->iconsArrived();
    } else if (facts.hasApplication) {
        s.icons.insert(facts.mimeType, applicationIcon(facts));
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
    if (const QString* type = s.pathTypes.object(item.path)) {
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
