#include "XdgPaths.h"

#include "OwnFile.h"

#include <QDir>
#include <QFileInfo>
#include <QTextStream>

#include <cerrno>
#include <vector>

#include <pwd.h>
#include <unistd.h>

namespace ovra::xdg {
namespace {

// A list of eight folders: anything larger is no such list.
constexpr std::int64_t kMaxUserDirsBytes = 1024 * 1024;

QString envPath(const char* name)
{
    QString value = qEnvironmentVariable(name);
    // The base directory spec ignores relative paths.
    return value.startsWith(u'/') ? QDir::cleanPath(value) : QString();
}

QString orDefault(const char* name, const QString& fallback)
{
    QString value = envPath(name);
    return value.isEmpty() ? fallback : value;
}

QString defaultUserDirName(UserDir which)
{
    switch (which) {
    case UserDir::Desktop: return QStringLiteral("Desktop");
    case UserDir::Documents: return QStringLiteral("Documents");
    case UserDir::Downloads: return QStringLiteral("Downloads");
    case UserDir::Pictures: return QStringLiteral("Pictures");
    case UserDir::Music: return QStringLiteral("Music");
    case UserDir::Videos: return QStringLiteral("Videos");
    }
    return {};
}

const char* userDirKey(UserDir which)
{
    switch (which) {
    case UserDir::Desktop: return "XDG_DESKTOP_DIR";
    case UserDir::Documents: return "XDG_DOCUMENTS_DIR";
    case UserDir::Downloads: return "XDG_DOWNLOAD_DIR";
    case UserDir::Pictures: return "XDG_PICTURES_DIR";
    case UserDir::Music: return "XDG_MUSIC_DIR";
    case UserDir::Videos: return "XDG_VIDEOS_DIR";
    }
    return "";
}

// This user's entry in the password database. getpwuid answers in one buffer
// that every thread of the process shares, and the locations are read on
// several pool threads at once: the entry is read into a buffer of our own.
struct Account {
    QString home; // empty when the entry has none
    QString name;
};

Account account()
{
    // Entries longer than this are no one's; the usual size is a kilobyte.
    constexpr std::size_t kLargestEntry = 1 << 20;
    const long suggested = ::sysconf(_SC_GETPW_R_SIZE_MAX);
    std::vector<char> buffer(suggested > 0 ? std::size_t(suggested) : 1024);
    passwd entry{};
    passwd* found = nullptr;
    for (;;) {
        const int error = ::getpwuid_r(::getuid(), &entry, buffer.data(), buffer.size(), &found);
        if (error != ERANGE || buffer.size() >= kLargestEntry) {
            if (error != 0) found = nullptr;
            break;
        }
        buffer.resize(buffer.size() * 2);
    }
    Account account;
    if (!found) return account;
    if (entry.pw_dir) account.home = QString::fromLocal8Bit(entry.pw_dir);
    if (entry.pw_name) account.name = QString::fromLocal8Bit(entry.pw_name);
    return account;
}

} // namespace

QString home()
{
    QString h = envPath("HOME");
    if (!h.isEmpty()) return h;
    if (QString dir = account().home; !dir.isEmpty()) return dir;
    return QStringLiteral("/");
}

QString userName()
{
    if (QString name = account().name; !name.isEmpty()) return name;
    QString user = qEnvironmentVariable("USER");
    return user.isEmpty() ? QFileInfo(home()).fileName() : user;
}

QString configHome()
{
    return orDefault("XDG_CONFIG_HOME", home() + QStringLiteral("/.config"));
}
QString dataHome()
{
    return orDefault("XDG_DATA_HOME", home() + QStringLiteral("/.local/share"));
}
QString cacheHome()
{
    return orDefault("XDG_CACHE_HOME", home() + QStringLiteral("/.cache"));
}

QStringList dataDirs()
{
    QStringList dirs;
    for (const QString& d : qEnvironmentVariable("XDG_DATA_DIRS").split(u':', Qt::SkipEmptyParts))
        if (d.startsWith(u'/')) dirs << QDir::cleanPath(d);
    if (dirs.isEmpty()) dirs << QStringLiteral("/usr/local/share") << QStringLiteral("/usr/share");
    return dirs;
}

QString appCacheDir()
{
    return cacheHome() + QStringLiteral("/Ovra");
}
QString appDataDir()
{
    return dataHome() + QStringLiteral("/Ovra");
}
QString appConfigDir()
{
    return configHome() + QStringLiteral("/Ovra");
}

QString userDir(UserDir which)
{
    const QString homeDir = home();
    const QByteArray file =
        OwnFile::read(configHome() + QStringLiteral("/user-dirs.dirs"), {kMaxUserDirsBytes});
    if (!file.isEmpty()) {
        QTextStream in(file);
        const QString key = QString::fromLatin1(userDirKey(which));
        while (!in.atEnd()) {
            const QString line = in.readLine().trimmed();
            if (line.startsWith(u'#') || !line.startsWith(key + u'=')) continue;
            QString value = line.mid(key.size() + 1).trimmed();
            if (value.size() >= 2 && value.startsWith(u'"') && value.endsWith(u'"'))
                value = value.mid(1, value.size() - 2);
            value.replace(QStringLiteral("$HOME"), homeDir);
            if (!value.startsWith(u'/')) continue;
            value = QDir::cleanPath(value);
            // A user dir set to home itself means "disabled" by convention.
            if (value == homeDir) break;
            return value;
        }
    }
    return homeDir + u'/' + defaultUserDirName(which);
}

QStringList applicationFolders()
{
    QStringList candidates;
    candidates << home() + QStringLiteral("/Applications")
               << dataHome() + QStringLiteral("/applications");
    for (const QString& d : dataDirs())
        candidates << d + QStringLiteral("/applications");
    QStringList existing;
    for (const QString& c : candidates)
        if (QFileInfo(c).isDir() && !existing.contains(c)) existing << c;
    return existing;
}

} // namespace ovra::xdg
