#include "FuzzTargets.h"

#include <QCoreApplication>
#include <QDir>
#include <QFile>
#include <QTemporaryDir>

#include <array>
#include <cstdlib>

namespace ovra::fuzz {

std::span<const Target> targets()
{
    static constexpr std::array<Target, 31> kTargets{{
        {"query", &query},
        {"natural_search", &naturalSearch},
        {"download_sources", &downloadSources},
        {"image_header", &imageHeader},
        {"exif", &exif},
        {"html", &html},
        {"rtf", &rtf},
        {"docx", &docx},
        {"odt", &odt},
        {"pdf", &pdf},
        {"text_index", &textIndex},
        {"settings", &settings},
        {"attribute_cache", &attributeCache},
        {"content_database", &contentDatabase},
        {"saved_index", &savedIndex},
        {"desktop_entry", &desktopEntry},
        {"mime_apps", &mimeApps},
        {"recently_used", &recentlyUsed},
        {"user_dirs", &userDirs},
        {"appcast", &appcast},
        {"uniform_type", &uniformType},
        {"text_index_round_trip", &textIndexRoundTrip},
        {"saved_index_round_trip", &savedIndexRoundTrip},
        {"saved_index_file", &savedIndexFile},
        {"saved_index_refresh", &savedIndexRefresh},
        {"extract_replies", &extractReplies},
        {"extract_requests", &extractRequests},
        {"stored_thumbnail", &storedThumbnail},
        {"icon_theme", &iconTheme},
        {"settings_round_trip", &settingsRoundTrip},
        {"own_file", &ownFile},
    }};
    return kTargets;
}

const QString& scratchFolder()
{
    static const QString folder = [] {
        static int argc = 1;
        static char name[] = "ovra-fuzz";
        static char* argv[] = {name, nullptr};
        if (!QCoreApplication::instance()) new QCoreApplication(argc, argv);
        static QTemporaryDir dir(QDir::tempPath() + QStringLiteral("/ovra-fuzz-XXXXXX"));
        const QString path = dir.path();
        for (const char* sub : {"home", "config", "data", "cache"})
            QDir().mkpath(path + u'/' + QLatin1String(sub));
        qputenv("HOME", QFile::encodeName(path + QStringLiteral("/home")));
        qputenv("XDG_CONFIG_HOME", QFile::encodeName(path + QStringLiteral("/config")));
        qputenv("XDG_DATA_HOME", QFile::encodeName(path + QStringLiteral("/data")));
        qputenv("XDG_CACHE_HOME", QFile::encodeName(path + QStringLiteral("/cache")));
        return path;
    }();
    return folder;
}

QString writeScratchFile(const QString& name, const std::uint8_t* data, std::size_t size)
{
    const QString path = scratchFolder() + u'/' + name;
    QDir().mkpath(path.section(u'/', 0, -2));
    QFile file(path);
    if (!file.open(QIODevice::WriteOnly | QIODevice::Truncate) ||
        file.write(reinterpret_cast<const char*>(data), qint64(size)) != qint64(size))
        std::abort(); // the scratch folder is ours: failing to write it is no finding
    return path;
}

} // namespace ovra::fuzz
