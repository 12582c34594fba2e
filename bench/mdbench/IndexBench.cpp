#include "IndexBench.h"

#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"

#include "library/FileCategory.h"
#include "library/Spotlight.h"
#include "platform/XdgPaths.h"
#include "platform/content/ContentIndex.h"
#include "platform/metadata/MetadataIndex.h"
#include "platform/metadata/Query.h"

#include <QDir>
#include <QFileInfo>
#include <QProcess>
#include <QStandardPaths>
#include <QTemporaryDir>

#include <cstdio>
#include <fstream>
#include <string>

namespace ovra::bench {
namespace {

// Resident memory of this process, in bytes.
double residentBytes()
{
    std::ifstream status("/proc/self/statm");
    long pages = 0, resident = 0;
    status >> pages >> resident;
    return double(resident) * double(sysconf(_SC_PAGESIZE));
}

// Times a peer command with its output thrown away; -1 when it cannot run.
double timeCommand(const QString& program, const QStringList& arguments)
{
    const QString found = QStandardPaths::findExecutable(program);
    if (found.isEmpty()) return -1;
    QProcess process;
    process.setStandardOutputFile(QProcess::nullDevice());
    process.setStandardErrorFile(QProcess::nullDevice());
    Stopwatch watch;
    process.start(found, arguments);
    if (!process.waitForFinished(-1)) return -1;
    return watch.elapsedMs();
}

struct Collection {
    QString name;
    QString query;
    QString sortKey;
    Spotlight::Accept accept;
};

QList<Collection> collections()
{
    // The same tests as the app's collections.
    const auto notFolder =
        Spotlight::Accept::byCategory([](FileCategory c) { return c != FileCategory::folders; });
    QList<Collection> out{
        {"recents", "kMDItemLastUsedDate >= $time.today(-30)", "kMDItemLastUsedDate", notFolder},
        {"large", "kMDItemFSSize > 100000000", "kMDItemFSSize", notFolder},
        {"screenshots", "kMDItemIsScreenCapture == 1", "kMDItemFSContentChangeDate", notFolder},
    };
    for (FileCategory c : kAllFileCategories) {
        out.push_back({rawValue(c), spotlightQuery(c),
                       c == FileCategory::apps ? QStringLiteral("kMDItemFSName")
                                               : QStringLiteral("kMDItemFSContentChangeDate"),
                       Spotlight::Accept::byCategory([c](FileCategory o) { return o == c; })});
    }
    return out;
}

} // namespace

int runIndexBench(const Arguments& args)
{
    const long files = args.integer("--files", 1000000);
    const int threads = int(args.integer("--threads", 0));
    QTemporaryDir scratch;
    QString dir = args.text("--dir");
    if (dir.isEmpty()) dir = scratch.path() + "/tree";
    dir = QFileInfo(dir).absoluteFilePath();
    if (!QFileInfo(dir).isDir()) {
        Stopwatch watch;
        generateTree(dir, files);
        report("index", "generate_ms", watch.elapsedMs(), "ms");
    }
    QTemporaryDir scratchCache;
    // --cache DIR keeps the attribute cache between runs, so the cold build (the
    // first read of every picture, song and video) is measured once per tree.
    const QString cacheDir = args.text("--cache", scratchCache.path());
    const bool cacheExists = QFileInfo::exists(cacheDir + "/metadata-attributes.cache");

    // Peers first, so the kernel's caches are equally warm for everyone.
    const bool peers = !args.flag("--no-peers");
    if (peers) timeCommand("fdfind", {"-u", "-t", "f", ".", dir});
    const double fd = peers ? timeCommand("fdfind", {"-u", "-t", "f", ".", dir}) : -1;
    const double find = peers ? timeCommand("find", {dir, "-printf", "%s %T@ %p\n"}) : -1;

    md::MetadataIndex::Options options;
    options.cacheDir = cacheDir;
    options.threads = threads;
    const double rssBefore = residentBytes();
    double buildCold = 0;
    if (!cacheExists) {
        md::MetadataIndex cold(options);
        Stopwatch watch;
        cold.ensureScopes({dir});
        buildCold = watch.elapsedMs();
        report("index", "build_cold_cache_ms", buildCold, "ms");
        report("index", "content_reads", double(cold.stats().contentReads), "files");
    }
    Stopwatch cacheWatch;
    md::MetadataIndex index(options);
    index.waitForCache();
    report("index", "attribute_cache_load_ms", cacheWatch.elapsedMs(), "ms");
    Stopwatch watch;
    index.ensureScopes({dir});
    const double build = watch.elapsedMs();
    const auto stats = index.stats();
    report("index", "files", double(stats.files), "files");
    report("index", "folders", double(stats.folders), "folders");
    report("index", "build_ms", build, "ms");
    report("index", "table_bytes_per_file",
           double(stats.memoryBytes) /
               double(std::max<std::size_t>(1, stats.files + stats.folders)),
           "bytes");
    report("index", "rss_bytes_per_file",
           (residentBytes() - rssBefore) /
               double(std::max<std::size_t>(1, stats.files + stats.folders)),
           "bytes");
    if (fd > 0) {
        report("index", "fd_ms", fd, "ms");
        report("index", "ratio_build_to_fd", build / fd, "ratio");
    }
    if (find > 0) {
        report("index", "find_ms", find, "ms");
        report("index", "ratio_find_to_build", find / build, "ratio");
    }

    Stopwatch refreshWatch;
    index.refresh();
    const double refresh = refreshWatch.elapsedMs();
    report("index", "refresh_unchanged_ms", refresh, "ms");
    report("index", "ratio_refresh_to_build", refresh / build, "ratio");

    for (const Collection& c : collections()) {
        // The first run warms the per-thread caches; the second is the one that counts.
        Spotlight::runBlocking(index, c.query, {dir}, c.sortKey, 3000, c.accept);
        Stopwatch q;
        const SpotlightResult r =
            Spotlight::runBlocking(index, c.query, {dir}, c.sortKey, 3000, c.accept);
        report("index", "query_" + c.name + "_ms", q.elapsedMs(), "ms");
        report("index", "query_" + c.name + "_total", double(r.totalCount), "files");
    }
    return 0;
}

int runQueryCommand(const Arguments& args)
{
    if (args.size() < 2) {
        std::fprintf(
            stderr,
            "usage: ovra-mdbench query FOLDER 'QUERY STRING' [--sort ATTRIBUTE] [--limit N]\n");
        return 2;
    }
    const QString folder = QFileInfo(args.word(0)).absoluteFilePath();
    const QString queryString = args.word(1);
    const md::Query parsed = md::Query::parse(queryString);
    if (!parsed.isValid()) {
        std::fprintf(stderr, "%s\n", qPrintable(parsed.errorString()));
        return 2;
    }
    const QString sort = args.text("--sort", "kMDItemFSContentChangeDate");
    const qsizetype limit = args.integer("--limit", 3000);
    // Words come from a content index as in the app, though not the app's own
    // database: an update drops every file outside the list it is given, and this
    // list is only the folder's.
    md::MetadataIndex::Options options;
    const bool readsWords =
        parsed.referencedAttributes() & (std::uint64_t(1) << unsigned(md::Attr::TextContent));
    if (readsWords) {
        content::ContentIndex::Options contentOptions;
        contentOptions.databasePath =
            xdg::appCacheDir() + QStringLiteral("/mdbench-content.sqlite");
        options.contentIndex = std::make_shared<content::ContentIndex>(contentOptions);
        if (!options.contentIndex->isOpen()) {
            std::fprintf(stderr, "cannot open %s\n", qPrintable(contentOptions.databasePath));
            return 1;
        }
    }
    md::MetadataIndex index(options);
    if (readsWords) {
        index.ensureScopes({folder});
        const auto update = options.contentIndex->update(index.documentStamps());
        if (!update.succeeded) {
            std::fprintf(stderr, "the content index could not be brought up to date\n");
            return 1;
        }
    }
    const SpotlightResult r = Spotlight::runBlocking(index, queryString, {folder}, sort, limit, {});
    for (const FileItem& item : r.items)
        std::printf("%s\n", qPrintable(item.path));
    std::printf("total %lld size %lld\n", static_cast<long long>(r.totalCount),
                static_cast<long long>(r.totalSize));
    return 0;
}

} // namespace ovra::bench
