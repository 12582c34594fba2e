// Files the desktop and the network hand us: desktop entries and the MIME
// association lists, the recently-used list, the user's named folders, the
// update feed and the names and heads of the user's files.

#include "FuzzTargets.h"

#include "desktop/DefaultApplication.h"
#include "platform/DesktopEntry.h"
#include "platform/PathKey.h"
#include "platform/UniformType.h"
#include "platform/Updater.h"
#include "platform/UserFile.h"
#include "platform/XdgPaths.h"
#include "platform/metadata/ContentAttributes.h"

#include <QDir>
#include <QFile>

#include <cmath>
#include <cstdio>
#include <cstdlib>

namespace ovra::fuzz {
namespace {

QByteArrayView bytes(const std::uint8_t* data, std::size_t size)
{
    return {reinterpret_cast<const char*>(data), qsizetype(size)};
}

[[noreturn]] void fail(const char* what, const QString& detail = {})
{
    std::fprintf(stderr, "%s: %s\n", what, qPrintable(detail));
    std::abort();
}

void writeText(const QString& name, const QByteArray& text)
{
    writeScratchFile(name, reinterpret_cast<const std::uint8_t*>(text.constData()),
                     std::size_t(text.size()));
}

// The system's lists and applications stay out of it: only the scratch folder's
// configuration and data are read, under a desktop of a known name.
void useScratchDesktop()
{
    static const bool ready = [] {
        const QString root = scratchFolder();
        qputenv("XDG_CONFIG_DIRS", QFile::encodeName(root + QStringLiteral("/etc-xdg")));
        qputenv("XDG_CURRENT_DESKTOP", "ubuntu:GNOME");
        writeText(QStringLiteral("data/applications/viewer.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Viewer\nName[de]=Betrachter\n"
                  "Icon=viewer\nMimeType=image/png;text/plain;\n");
        writeText(QStringLiteral("data/applications/kde/editor.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Editor\nIcon=/opt/editor.svg\n");
        writeText(QStringLiteral("data/applications/gone.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Gone\nHidden=true\n");
        // Beside the applications folder, not in it: no id names it.
        writeText(QStringLiteral("data/stray.desktop"),
                  "[Desktop Entry]\nType=Application\nName=Stray\n");
        writeText(QStringLiteral("data/applications/link.desktop"),
                  "[Desktop Entry]\nType=Link\nName=Link\nURL=https://example.org\n");
        return true;
    }();
    (void)ready;
}

void checkEntry(const std::optional<DesktopEntry>& entry)
{
    if (entry && entry->id.isEmpty()) fail("an application without an id", entry->path);
}

// An id names a file inside one of the applications folders, never beside them.
void checkInstalled(const std::optional<DesktopEntry>& entry)
{
    checkEntry(entry);
    if (!entry) return;
    QStringList folders{xdg::dataHome()};
    folders << xdg::dataDirs();
    const QString path = QDir::cleanPath(entry->path);
    for (const QString& folder : std::as_const(folders))
        if (path.startsWith(folder + QStringLiteral("/applications/"))) return;
    fail("an application found outside the applications folders", entry->path);
}

} // namespace

// A desktop entry as read from an applications folder and from a file among
// the user's (the launcher of an AppImage, say).
void desktopEntry(const std::uint8_t* data, std::size_t size)
{
    const KeyFile file = KeyFile::parse(bytes(data, size));
    for (auto group = file.groups.cbegin(); group != file.groups.cend(); ++group) {
        if (group.key().isEmpty()) fail("a group without a name");
        for (const QString& locale : {QStringLiteral("de_AT.UTF-8@euro"),
                                      QStringLiteral("sr@latin"), QStringLiteral("_"), QString()})
            (void)localizedValue(*group, QStringLiteral("Name"), locale);
    }
    checkEntry(
        DesktopEntry::fromKeyFile(file, QStringLiteral("/usr/share/applications/a.desktop")));
    const QString path = writeScratchFile(QStringLiteral("home/Launcher.desktop"), data, size);
    const UserFile::AllowOnThisThread reading;
    checkEntry(DesktopEntry::read(path, QStringLiteral("launcher.desktop")));
}

// The bytes as the user's mimeapps.list, the desktop's own list and the
// applications' mimeinfo.cache at once (each reads its own groups), then the
// application for a few types and for every type the text names.
void mimeApps(const std::uint8_t* data, std::size_t size)
{
    useScratchDesktop();
    writeScratchFile(QStringLiteral("config/mimeapps.list"), data, size);
    writeScratchFile(QStringLiteral("etc-xdg/gnome-mimeapps.list"), data, size);
    writeScratchFile(QStringLiteral("data/applications/mimeinfo.cache"), data, size);
    QStringList types{QStringLiteral("text/plain"), QStringLiteral("text/x-csrc"),
                      QStringLiteral("image/png"), QStringLiteral("application/x-ovra-none")};
    const KeyFile file = KeyFile::parse(bytes(data, size));
    for (const KeyFile::Group& group : file.groups)
        for (auto value = group.cbegin(); value != group.cend() && types.size() < 16; ++value) {
            types << value.key();
            for (const QString& id : value->split(u';', Qt::SkipEmptyParts).mid(0, 4))
                checkInstalled(DefaultApplication::findEntry(id));
        }
    for (const QString& type : std::as_const(types))
        checkInstalled(DefaultApplication::forMimeType(type));
}

// Every file the list names is keyed as the index keys its files, with a time.
void recentlyUsed(const std::uint8_t* data, std::size_t size)
{
    const QString path = writeScratchFile(QStringLiteral("data/recently-used.xbel"), data, size);
    const QHash<QString, double> lastUsed = md::readRecentlyUsed(path);
    for (auto it = lastUsed.cbegin(); it != lastUsed.cend(); ++it) {
        if (!it.key().startsWith(u'/') || pathKey(it.key()) != it.key())
            fail("a recently used file that is not a path key", it.key());
        if (!std::isfinite(*it)) fail("a recently used file without a time", it.key());
    }
}

// Every named folder is an absolute, clean path other than home itself.
void userDirs(const std::uint8_t* data, std::size_t size)
{
    writeScratchFile(QStringLiteral("config/user-dirs.dirs"), data, size);
    const QString home = xdg::home();
    for (const xdg::UserDir which :
         {xdg::UserDir::Desktop, xdg::UserDir::Documents, xdg::UserDir::Downloads,
          xdg::UserDir::Pictures, xdg::UserDir::Music, xdg::UserDir::Videos}) {
        const QString folder = xdg::userDir(which);
        if (!folder.startsWith(u'/') || QDir::cleanPath(folder) != folder || folder == home)
            fail("a named folder that is no folder to use", folder);
    }
}

// Only releases with a version and a web address come out, and the newest is
// no older than any other: an older one offered as an update would be a
// downgrade.
void appcast(const std::uint8_t* data, std::size_t size)
{
    const QByteArray feed(reinterpret_cast<const char*>(data), qsizetype(size));
    const std::optional<QList<AppcastItem>> items = Appcast::parse(feed);
    const UpdateCheck check = Updater::judge(feed, QStringLiteral("1.4.2"));
    if (!items) {
        if (check.outcome != UpdateCheck::Outcome::failed) fail("a broken feed judged");
        return;
    }
    for (const AppcastItem& item : *items) {
        const QString scheme = item.link.scheme();
        if (item.version.isEmpty() || item.link.host().isEmpty() ||
            (scheme != u"https" && scheme != u"http"))
            fail("a release without a version or a web address", item.link.toString());
    }
    if (items->isEmpty() != !check.latest) fail("a feed's newest release lost");
    for (const AppcastItem& item : *items) {
        const int order = Appcast::compareVersions(check.latest->version, item.version);
        if (order < 0) fail("an older release taken for the newest", item.version);
        if (Appcast::compareVersions(item.version, check.latest->version) != -order)
            fail("versions that compare both ways", item.version);
    }
}

namespace {

void checkType(const UniformType& type, const QString& detail)
{
    if (!type.isValid()) return;
    const QStringList tree = type.tree();
    if (tree.isEmpty() || tree.first() != type.identifier() || !type.conforms(type) ||
        !type.conforms(UniformType::item()) ||
        UniformType::withIdentifier(type.identifier()) != type ||
        UniformType::fromInternId(type.internId()) != type)
        fail("a type that is not itself", detail + u' ' + type.identifier());
}

// A name the file system could hold, so the file can be made under it.
bool isFileName(const QString& name)
{
    const QByteArray local = QFile::encodeName(name);
    return !name.isEmpty() && name != u"." && name != u".." && !name.contains(u'/') &&
           !local.contains('\0') && local.size() <= 255;
}

} // namespace

// The first line is a file's name, the rest its first bytes: the type by the
// name alone, by the whole file under that name, and by the bytes alone.
void uniformType(const std::uint8_t* data, std::size_t size)
{
    const QByteArrayView input = bytes(data, size);
    const qsizetype newline = input.indexOf('\n');
    const QString name = QString::fromUtf8(newline < 0 ? input : input.first(newline));
    const QByteArrayView head = newline < 0 ? QByteArrayView() : input.sliced(newline + 1);
    const UniformType byName = UniformType::forFileName(name);
    checkType(byName, name);
    if (UniformType::forFileName(QStringLiteral("/home/ann/") + name) != byName)
        fail("a name typed differently in a folder", name);

    QDir(scratchFolder() + QStringLiteral("/types")).removeRecursively();
    const UserFile::AllowOnThisThread reading;
    const auto fileType = [&](const QString& fileName) {
        const QString path = writeScratchFile(QStringLiteral("types/") + fileName,
                                              reinterpret_cast<const std::uint8_t*>(head.data()),
                                              std::size_t(head.size()));
        const UniformType type = UniformType::forFile(path);
        if (!type.isValid()) fail("a file without a type", fileName);
        checkType(type, fileName);
        return type;
    };
    if (isFileName(name) && byName.isValid() && fileType(name) != byName)
        fail("a file not typed by its name", name);
    (void)fileType(QStringLiteral("unnamed"));
}

} // namespace ovra::fuzz
