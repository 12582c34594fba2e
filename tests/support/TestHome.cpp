#include "TestHome.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>

#include <gtest/gtest.h>

#include <fcntl.h>
#include <sys/stat.h>

#include <cmath>
#include <map>
#include <string>

namespace ovra::test {

namespace {
const char* const kVariables[] = {"HOME",           "XDG_CONFIG_HOME", "XDG_DATA_HOME",
                                  "XDG_CACHE_HOME", "XDG_DATA_DIRS",   "XDG_CONFIG_DIRS",
                                  "XDG_STATE_HOME"};

// The MIME database lives in the system's data folders, which the redirection
// hides: Qt would find no file types at all (and drops the ones it had loaded
// when it next looks for changes). Linking the database alone into a data folder
// of the test's keeps file types working while the system's applications and
// other data stay out of sight. Qt's database is one per process and remembers
// the folders it found, so that folder is one per process too: a folder per
// home would be gone, under Qt's feet, once the home that made it is.
QString processDataFolder()
{
    static const QString folder = [] {
        static QTemporaryDir dir;
        const QString share = QFileInfo(dir.path()).canonicalFilePath() + QStringLiteral("/share");
        QDir().mkpath(share);
        QString dirs = qEnvironmentVariable("XDG_DATA_DIRS");
        if (dirs.isEmpty()) dirs = QStringLiteral("/usr/local/share:/usr/share");
        for (const QString& dir : dirs.split(u':', Qt::SkipEmptyParts)) {
            if (QFileInfo::exists(dir + QStringLiteral("/mime/mime.cache"))) {
                QFile::link(dir + QStringLiteral("/mime"), share + QStringLiteral("/mime"));
                break;
            }
        }
        return share;
    }();
    return folder;
}
} // namespace

struct TestHome::Saved {
    std::map<std::string, std::optional<QByteArray>> values;
};

TestHome::TestHome()
    : m_saved(new Saved)
{
    // Resolve the temporary folder's own links (/tmp may be one) so that paths the
    // index reports compare equal to the paths tests build.
    m_root = QFileInfo(m_dir.path()).canonicalFilePath() + QStringLiteral("/home");
    QDir().mkpath(m_root);
    for (const char* name : kVariables) {
        m_saved->values[name] = qEnvironmentVariableIsSet(name)
                                    ? std::optional<QByteArray>(qgetenv(name))
                                    : std::nullopt;
    }
    qputenv("HOME", m_root.toUtf8());
    qputenv("XDG_CONFIG_HOME", (m_root + QStringLiteral("/.config")).toUtf8());
    qputenv("XDG_DATA_HOME", (m_root + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (m_root + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_STATE_HOME", (m_root + QStringLiteral("/.local/state")).toUtf8());
    qputenv("XDG_DATA_DIRS", processDataFolder().toUtf8());
    qputenv("XDG_CONFIG_DIRS",
            (QFileInfo(m_dir.path()).canonicalFilePath() + QStringLiteral("/etc-xdg")).toUtf8());
    // Media, PDF and picture files are read by the helper this build made; test
    // programs do not sit beside it, where the app finds its own.
    if (!qEnvironmentVariableIsSet("OVRA_EXTRACT")) qputenv("OVRA_EXTRACT", OVRA_EXTRACT_PROGRAM);
}

TestHome::~TestHome()
{
    for (const auto& [name, value] : m_saved->values) {
        if (value)
            qputenv(name.c_str(), *value);
        else
            qunsetenv(name.c_str());
    }
    delete m_saved;
}

QString TestHome::path(const QString& relative) const
{
    return relative.isEmpty() ? m_root : m_root + u'/' + relative;
}

QString TestHome::makeFolder(const QString& relative)
{
    const QString p = path(relative);
    QDir().mkpath(p);
    return p;
}

QString TestHome::writeFile(const QString& relative, const QByteArray& content,
                            std::optional<double> modified)
{
    const QString p = path(relative);
    QDir().mkpath(QFileInfo(p).absolutePath());
    QFile file(p);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate)) {
        ADD_FAILURE() << "cannot write fixture " << p.toStdString();
        return p;
    }
    file.write(content);
    file.close();
    if (modified) setTimes(p, std::nullopt, modified);
    return p;
}

void TestHome::setTimes(const QString& absolutePath, std::optional<double> accessed,
                        std::optional<double> modified)
{
    auto toSpec = [](std::optional<double> t) {
        timespec spec{};
        if (!t) {
            spec.tv_nsec = UTIME_OMIT;
            return spec;
        }
        double whole = std::floor(*t);
        spec.tv_sec = static_cast<time_t>(whole);
        spec.tv_nsec = static_cast<long>(std::llround((*t - whole) * 1e9));
        if (spec.tv_nsec >= 1000000000L) {
            spec.tv_sec += 1;
            spec.tv_nsec -= 1000000000L;
        }
        return spec;
    };
    const timespec times[2] = {toSpec(accessed), toSpec(modified)};
    if (utimensat(AT_FDCWD, QFile::encodeName(absolutePath).constData(), times,
                  AT_SYMLINK_NOFOLLOW) != 0)
        ADD_FAILURE() << "cannot set times on " << absolutePath.toStdString();
}

QByteArray contentOf(const QString& path)
{
    QFile file(path);
    return file.open(QIODevice::ReadOnly) ? file.readAll() : QByteArray();
}

QStringList entriesIn(const QString& folder)
{
    return QDir(folder).entryList(QDir::AllEntries | QDir::Hidden | QDir::System |
                                  QDir::NoDotAndDotDot);
}

} // namespace ovra::test
