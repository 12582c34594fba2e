#include "CleanupBench.h"

#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"

#include "cleanup/CleanupSearch.h"
#include "cleanup/SourceStore.h"
#include "library/LibraryStore.h"
#include "platform/metadata/MetadataIndex.h"

#include <QDateTime>
#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <array>
#include <filesystem>
#include <string>
#include <vector>

#include <fcntl.h>
#include <sys/stat.h>
#include <sys/xattr.h>
#include <unistd.h>

namespace ovra::bench {
namespace {

constexpr const char* kBench = "cleanup";
// One file in this many gets a download origin.
constexpr long kOriginEvery = 8;
constexpr std::array<const char*, 12> kHosts{
    "github.com",           "objects.githubusercontent.com",
    "files.slack.com",      "drive.google.com",
    "www.dropbox.com",      "cdn.discordapp.com",
    "mail.google.com",      "www.example.org",
    "downloads.site.co.uk", "releases.ubuntu.com",
    "192.168.1.20",         "static.shop.com.au"};

void touch(const QString& path, qint64 size, double when)
{
    const int fd =
        ::open(QFile::encodeName(path).constData(), O_CREAT | O_WRONLY | O_TRUNC | O_CLOEXEC, 0644);
    if (fd < 0) return;
    if (size > 0 && ::ftruncate(fd, off_t(size)) != 0) {
        // Left small where sparse files are not kept.
    }
    const timespec times[2] = {{time_t(when), 0}, {time_t(when), 0}};
    ::futimens(fd, times);
    ::close(fd);
}

// What the generated tree lacks for the cleanup kinds: installers and loose
// old files directly in Downloads, and the user's own apps.
void addCleanupFiles(const QString& root, double now)
{
    const QString downloads = root + QStringLiteral("/Downloads");
    const std::array<const char*, 7> installers{"iso",      "img",        "deb", "rpm",
                                                "AppImage", "flatpakref", "run"};
    for (int i = 0; i < 2000; ++i) {
        const double when = now - double(1 + i % 400) * 86400.0;
        const QString name =
            i % 3 == 0 ? QStringLiteral("setup-%1.%2")
                             .arg(i)
                             .arg(QLatin1String(installers[size_t(i) % installers.size()]))
                       : QStringLiteral("loose-%1.pdf").arg(i);
        touch(downloads + u'/' + name, 1000 + i * 37, when);
    }
    QDir().mkpath(root + QStringLiteral("/Applications"));
    QDir().mkpath(root + QStringLiteral("/.local/share/applications"));
    for (int i = 0; i < 150; ++i) {
        const double when = now - double(30 + i * 3) * 86400.0;
        touch(root + QStringLiteral("/Applications/Tool%1.AppImage").arg(i), 5'000'000 + i, when);
        const QString entry =
            root + QStringLiteral("/.local/share/applications/org.bench.App%1.desktop").arg(i);
        QFile file(entry);
        if (file.open(QIODevice::WriteOnly))
            file.write(QStringLiteral("[Desktop Entry]\nType=Application\nName=App %1\nExec=%2\n")
                           .arg(i)
                           .arg(root + QStringLiteral("/Applications/Tool%1.AppImage").arg(i))
                           .toUtf8());
        file.close();
        const timespec times[2] = {{time_t(when), 0}, {time_t(when), 0}};
        ::utimensat(AT_FDCWD, QFile::encodeName(entry).constData(), times, 0);
    }
}

// Gives every kOriginEvery-th file a browser's download address; returns how many.
long addOrigins(const QString& root)
{
    long seen = 0, given = 0;
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root.toStdString(), error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (error) break;
        if (!it->is_regular_file(error)) continue;
        if (seen++ % kOriginEvery != 0) continue;
        const std::string url = std::string("https://") + kHosts[size_t(given) % kHosts.size()] +
                                "/files/" + std::to_string(given) + "/" +
                                it->path().filename().string();
        if (::setxattr(it->path().c_str(), "user.xdg.origin.url", url.data(), url.size(), 0) == 0)
            ++given;
    }
    return given;
}

double median(std::vector<double> values)
{
    std::sort(values.begin(), values.end());
    return values[values.size() / 2];
}

} // namespace

int runCleanupBench(const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 100000);
    const int repeat = int(args.integer(QStringLiteral("--repeat"), 3));
    QTemporaryDir temporary;
    const QString root =
        args.text(QStringLiteral("--dir"), temporary.path() + QStringLiteral("/home"));
    const bool generate = !QFileInfo::exists(root + QStringLiteral("/.generated"));

    if (generate) {
        const double now = double(QDateTime::currentSecsSinceEpoch());
        Stopwatch watch;
        generateTree(root, files);
        addCleanupFiles(root, now);
        const long origins = addOrigins(root);
        QFile(root + QStringLiteral("/.generated")).open(QIODevice::WriteOnly);
        report(kBench, QStringLiteral("generate"), watch.elapsedMs(), "ms");
        report(kBench, QStringLiteral("files with origin"), double(origins), "files");
    }

    // The whole app reads its folders from these.
    qputenv("HOME", root.toUtf8());
    qputenv("XDG_DATA_HOME", (root + QStringLiteral("/.local/share")).toUtf8());
    qputenv("XDG_CACHE_HOME", (root + QStringLiteral("/.cache")).toUtf8());
    qputenv("XDG_CONFIG_HOME", (root + QStringLiteral("/.config")).toUtf8());

    md::MetadataIndex index;
    const QStringList scopes = LibraryStore::defaultScopes();
    {
        Stopwatch watch;
        index.ensureScopes(scopes + CleanupSearch::userApplicationFolders());
        report(kBench, QStringLiteral("index walk"), watch.elapsedMs(), "ms");
    }
    // Warming: the first asking reads each file's origin once and the type
    // texts; the app has done this by the time anyone opens the hub.
    {
        Stopwatch watch;
        for (CleanupKind kind : kAllCleanupKinds)
            CleanupSearch::run(index, kind, scopes);
        SourceStore::Classifications warm;
        SourceStore::grouped(SourceStore::gather(index, scopes), warm);
        report(kBench, QStringLiteral("first run (cold origins)"), watch.elapsedMs(), "ms");
    }

    double total = 0;
    for (CleanupKind kind : kAllCleanupKinds) {
        std::vector<double> times;
        SpotlightResult result;
        for (int r = 0; r < repeat; ++r) {
            Stopwatch watch;
            result = CleanupSearch::run(index, kind, scopes);
            times.push_back(watch.elapsedMs());
        }
        const double ms = median(times);
        total += ms;
        report(kBench, rawValue(kind) + QStringLiteral(" (%1 items)").arg(result.totalCount), ms,
               "ms");
    }
    {
        // The store's first load classifies every file; a reload finds the
        // answers of the files it has seen.
        std::vector<double> firstTimes, reloadTimes, gatherTimes;
        qsizetype groups = 0, grouped = 0;
        for (int r = 0; r < repeat; ++r) {
            SourceStore::Classifications classifications;
            for (std::vector<double>* times : {&firstTimes, &reloadTimes}) {
                Stopwatch watch;
                const auto downloads = SourceStore::gather(index, scopes);
                gatherTimes.push_back(watch.elapsedMs());
                const auto result = SourceStore::grouped(downloads, classifications);
                times->push_back(watch.elapsedMs());
                groups = result.size();
                grouped = 0;
                for (const auto& group : result)
                    grouped += group.items.size();
            }
        }
        const double first = median(firstTimes);
        total += first;
        report(kBench, QStringLiteral("source grouping: gathering from the index"),
               median(gatherTimes), "ms");
        report(kBench,
               QStringLiteral("source grouping, first load (%1 files, %2 sources)")
                   .arg(grouped)
                   .arg(groups),
               first, "ms");
        report(kBench, QStringLiteral("source grouping, reload"), median(reloadTimes), "ms");
    }
    report(kBench, QStringLiteral("five kinds and grouping"), total, "ms");
    return 0;
}

} // namespace ovra::bench
