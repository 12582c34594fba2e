#include "ExactBench.h"
#include "common/BenchOutput.h"
#include "duplicates/DuplicateScanner.h"
#include "duplicates/HashCache.h"
#include "platform/Background.h"

#include <QDir>
#include <QFile>
#include <QProcess>
#include <QRandomGenerator>
#include <QSet>
#include <QTemporaryDir>
#include <QThread>
#include <QThreadPool>
#include <QtConcurrent>

#include <algorithm>
#include <atomic>
#include <cstdio>
#include <dirent.h>
#include <fcntl.h>
#include <set>
#include <sys/resource.h>
#include <sys/stat.h>
#include <unistd.h>

namespace ovra::bench {

namespace {

constexpr qint64 kMinSize = 51'200;
constexpr qint64 kMaxSize = 380'000;
constexpr int kFilesPerFolder = 100;
constexpr int kRuns = 3;

// A file's identity: two names of one file are one member of a group.
using Identity = std::pair<quint64, quint64>;
using GroupSet = std::set<std::set<Identity>>;

GroupSet normalised(const QList<QStringList>& groups)
{
    GroupSet result;
    for (const QStringList& group : groups) {
        std::set<Identity> members;
        for (const QString& path : group) {
            struct stat st {};
            if (::lstat(QFile::encodeName(path).constData(), &st) == 0)
                members.insert({quint64(st.st_dev), quint64(st.st_ino)});
        }
        if (members.size() >= 2) result.insert(members);
    }
    return result;
}

// jdupes and rmlint's fdupes-style output: paths one a line, groups apart.
QList<QStringList> parseGroups(const QByteArray& text)
{
    QList<QStringList> groups;
    QStringList current;
    for (const QByteArray& line : text.split('\n')) {
        if (line.trimmed().isEmpty()) {
            if (!current.isEmpty()) groups.append(current);
            current.clear();
        } else {
            current.append(QFile::decodeName(line));
        }
    }
    if (!current.isEmpty()) groups.append(current);
    return groups;
}

// Every regular file under the folder, hidden ones too (as jdupes -r reads
// them), without following links; empty files free nothing. Folders are
// listed a level at a time on the pool, each entry stat'ed relative to its
// folder, the way the metadata index walks (the app gathers from the index).
QList<FileItem> walk(const QString& dir, QThreadPool& pool)
{
    struct Listing {
        QList<FileItem> files;
        QStringList folders;
    };
    QList<FileItem> items;
    QStringList level = {dir};
    while (!level.isEmpty()) {
        const QList<Listing> listings =
            QtConcurrent::blockingMapped(&pool, level, [](const QString& folder) {
                Listing listing;
                DIR* handle = ::opendir(QFile::encodeName(folder).constData());
                if (!handle) return listing;
                const int fd = ::dirfd(handle);
                while (const dirent* entry = ::readdir(handle)) {
                    const char* name = entry->d_name;
                    if (name[0] == '.' && (name[1] == 0 || (name[1] == '.' && name[2] == 0)))
                        continue;
                    struct stat st {};
                    if (::fstatat(fd, name, &st, AT_SYMLINK_NOFOLLOW) != 0) continue;
                    const QString path = folder + u'/' + QFile::decodeName(name);
                    if (S_ISDIR(st.st_mode)) {
                        listing.folders.append(path);
                    } else if (S_ISREG(st.st_mode) && st.st_size > 0) {
                        FileItem item;
                        item.path = path;
                        item.name = QFile::decodeName(name);
                        item.size = qint64(st.st_size);
                        listing.files.append(std::move(item));
                    }
                }
                ::closedir(handle);
                return listing;
            });
        level.clear();
        for (const Listing& listing : listings) {
            items.append(listing.files);
            level.append(listing.folders);
        }
    }
    return items;
}

// `cache` and `bytesRead` as the app's finder gives them; none by default,
// so every run reads every candidate, as the peers do.
QList<QStringList> scanOurs(const QString& dir, QThreadPool& pool, bool lowPriority = false,
                            HashCache* cache = nullptr, std::atomic<qint64>* bytesRead = nullptr)
{
    DuplicateScanner::Workers workers;
    workers.pool = &pool;
    workers.threadCount = pool.maxThreadCount();
    workers.lowPriority = lowPriority;
    workers.cache = cache;
    workers.bytesRead = bytesRead;
    const auto groups = DuplicateScanner::exactDuplicates(walk(dir, pool), {}, workers);
    QList<QStringList> result;
    for (const DuplicateGroup& group : groups) {
        QStringList paths;
        for (const FileItem& file : group.files)
            paths.append(file.path);
        result.append(paths);
    }
    return result;
}

void fillRandom(QByteArray& bytes, quint32 seed)
{
    QRandomGenerator random(seed);
    random.fillRange(reinterpret_cast<quint32*>(bytes.data()), bytes.size() / 4);
    // The last few bytes that make no whole word are set too, or copies differ there.
    for (qsizetype i = bytes.size() / 4 * 4; i < bytes.size(); ++i)
        bytes[i] = char(random.generate());
}

bool writeBytes(const QString& path, const QByteArray& bytes)
{
    QFile file(path);
    return file.open(QIODevice::WriteOnly) && file.write(bytes) == bytes.size();
}

struct Tree {
    qint64 bytes = 0;
    int groups = 0;
    int hardLinks = 0;
    int decoys = 0;
};

// The tree: `files` files in folders of a hundred, sizes 50–370 KiB; 1,000
// groups of two or three copies; a same-size decoy beside every other group
// that differs only in the middle (so the quick key agrees) or only at the
// start; and hard links to some copies and some single files.
Tree generate(const QString& root, int files)
{
    Tree tree;
    struct Plan {
        QString path;
        qint64 size;
        quint32 seed;
        int flipAt = -1; // a decoy: the content of `seed` with one byte changed
        QString linkTo;
    };
    QList<Plan> plans;
    QRandomGenerator random(20261209);
    const auto pathFor = [&](int n) {
        return QStringLiteral("%1/d%2/f%3.bin")
            .arg(root)
            .arg(n / kFilesPerFolder, 3, 10, QLatin1Char('0'))
            .arg(n);
    };
    const int groups = std::min(1000, files / 20);
    int n = 0;
    for (int g = 0; g < groups && n < files; ++g) {
        const qint64 size = kMinSize + qint64(random.bounded(quint32(kMaxSize - kMinSize)));
        const quint32 seed = random.generate();
        const int copies = 2 + (g % 2);
        for (int c = 0; c < copies && n < files; ++c)
            plans.append({pathFor(n++), size, seed, -1, QString()});
        if (g % 2 == 0 && n < files) {
            plans.append({pathFor(n++), size, seed, g % 4 == 0 ? int(size / 2) : 0, QString()});
            ++tree.decoys;
        }
        if (g % 10 == 0 && n < files) {
            plans.append({pathFor(n++), size, seed, -1, plans[plans.size() - 2].path});
            ++tree.hardLinks;
        }
    }
    tree.groups = groups;
    while (n < files) {
        const qint64 size = kMinSize + qint64(random.bounded(quint32(kMaxSize - kMinSize)));
        plans.append({pathFor(n), size, random.generate(), -1, QString()});
        if (n % 200 == 199 && n + 1 < files) {
            plans.append({pathFor(++n), size, 0, -1, pathFor(n - 1)});
            ++tree.hardLinks;
        }
        ++n;
    }
    for (int d = 0; d <= files / kFilesPerFolder; ++d)
        QDir().mkpath(QStringLiteral("%1/d%2").arg(root).arg(d, 3, 10, QLatin1Char('0')));
    QThreadPool writers;
    writers.setMaxThreadCount(4);
    QtConcurrent::blockingMap(&writers, plans, [](const Plan& plan) {
        if (!plan.linkTo.isEmpty()) return;
        QByteArray bytes(plan.size, Qt::Uninitialized);
        fillRandom(bytes, plan.seed);
        if (plan.flipAt >= 0) bytes[plan.flipAt] = char(bytes[plan.flipAt] ^ 0x01);
        writeBytes(plan.path, bytes);
    });
    for (const Plan& plan : plans) {
        if (!plan.linkTo.isEmpty())
            ::link(QFile::encodeName(plan.linkTo).constData(),
                   QFile::encodeName(plan.path).constData());
        else
            tree.bytes += plan.size;
    }
    return tree;
}

// Processor time (user and system) of this process, or of its finished children.
struct PeerRun {
    bool ran = false;
    double ms = 0;
    double cpu = 0;
    QList<QStringList> groups;
};

PeerRun runPeer(const QString& program, const QStringList& arguments)
{
    PeerRun run;
    QProcess process;
    const double cpuBefore = cpuSeconds(RUSAGE_CHILDREN);
    Stopwatch watch;
    process.start(program, arguments);
    if (!process.waitForStarted() || !process.waitForFinished(-1)) return run;
    run.ms = watch.elapsedMs();
    run.cpu = cpuSeconds(RUSAGE_CHILDREN) - cpuBefore;
    run.ran = process.exitStatus() == QProcess::NormalExit;
    run.groups = parseGroups(process.readAllStandardOutput());
    return run;
}

// The scan twice on one tree with the digests kept between, the second by a
// new cache read from the saved file, as after a new start of the app.
void reportRescan(const QString& root, const QString& scratch, QThreadPool& pool,
                  const GroupSet& expected)
{
    const QString path = scratch + QStringLiteral("/digests.cache");
    std::atomic<qint64> firstBytes{0};
    {
        HashCache cache(path);
        cache.load();
        Stopwatch first;
        scanOurs(root, pool, false, &cache, &firstBytes);
        cache.save(false);
        report("exact", QStringLiteral("first_scan_with_cache_seconds"), first.elapsedMs() / 1000.0,
               "s");
        report("exact", QStringLiteral("first_scan_bytes_read"), double(firstBytes.load()),
               "bytes");
    }
    std::atomic<qint64> bytes{0};
    Stopwatch again;
    HashCache cache(path);
    cache.load();
    const QList<QStringList> groups = scanOurs(root, pool, false, &cache, &bytes);
    report("exact", QStringLiteral("rescan_seconds"), again.elapsedMs() / 1000.0, "s");
    report("exact", QStringLiteral("rescan_bytes_read"), double(bytes.load()), "bytes");
    report("exact", QStringLiteral("rescan_same_groups"), normalised(groups) == expected ? 1 : 0,
           "bool");
}

} // namespace

int runCancel(const Arguments& args)
{
    const qint64 gib = std::max(1LL, args.integer(QStringLiteral("--size-gb"), 200));
    const qint64 size = gib * 1'000'000'000;
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/ovra-dupbench-XXXXXX"));
    QList<FileItem> files;
    for (const char* name : {"/a.img", "/b.img"}) {
        FileItem item;
        item.path = temp.path() + QLatin1String(name);
        item.name = QString::fromLatin1(name + 1);
        item.size = size;
        const int fd = ::open(QFile::encodeName(item.path).constData(), O_WRONLY | O_CREAT, 0644);
        if (fd < 0 || ::ftruncate(fd, size) != 0) {
            std::fprintf(stderr, "no sparse file of %lld GB here\n", gib);
            return 1;
        }
        ::close(fd);
        files.append(item);
    }
    report("cancel", QStringLiteral("load_average_before"), loadAverage(), "load");
    report("cancel", QStringLiteral("file_bytes"), double(size), "bytes");
    // At idle priority, as the app hashes, and at normal priority: on a busy
    // machine the first waits for its turn on a core before it sees the stop.
    for (const bool idle : {true, false}) {
        const QString mode = idle ? QStringLiteral("idle") : QStringLiteral("normal");
        QThreadPool pool; // a thread once lowered stays low
        pool.setMaxThreadCount(4);
        double slowest = 0;
        for (const qint64 after : {qint64(1) << 30, qint64(2) << 30, qint64(4) << 30}) {
            std::atomic<bool> stop{false};
            std::atomic<qint64> bytes{0};
            DuplicateScanner::Workers workers;
            workers.pool = &pool;
            workers.threadCount = 2;
            workers.lowPriority = idle;
            workers.isCancelled = [&] { return stop.load(); };
            workers.bytesRead = &bytes;
            QFuture<void> scan = QtConcurrent::run(&pool, [&] {
                if (idle) background::enterIdlePriority();
                DuplicateScanner::exactDuplicates(files, {}, workers);
            });
            while (bytes.load() < after && !scan.isFinished())
                QThread::msleep(1);
            Stopwatch stopping;
            stop.store(true);
            scan.waitForFinished();
            const double ms = stopping.elapsedMs();
            slowest = std::max(slowest, ms);
            report("cancel", QStringLiteral("%1_stop_ms_after_%2_gib").arg(mode).arg(after >> 30),
                   ms, "ms");
        }
        report("cancel", QStringLiteral("%1_stop_ms_slowest").arg(mode), slowest, "ms");
    }
    report("cancel", QStringLiteral("load_average_after"), loadAverage(), "load");
    return 0;
}

int runExact(const Arguments& args)
{
    QThreadPool pool;
    pool.setMaxThreadCount(std::max(1, QThread::idealThreadCount()));
    const QString dir = args.text(QStringLiteral("--dir"));
    if (!dir.isEmpty()) {
        Stopwatch watch;
        const QList<QStringList> groups = scanOurs(dir, pool);
        if (args.flag(QStringLiteral("--print"))) {
            for (qsizetype g = 0; g < groups.size(); ++g) {
                if (g > 0) std::printf("\n");
                for (const QString& path : groups[g])
                    std::printf("%s\n", QFile::encodeName(path).constData());
            }
            return 0;
        }
        report("exact", QStringLiteral("seconds"), watch.elapsedMs() / 1000.0, "s");
        report("exact", QStringLiteral("groups"), double(groups.size()), "groups");
        return 0;
    }

    const int files = std::max(100, int(args.integer(QStringLiteral("--files"), 0)));
    QTemporaryDir temp(QDir::tempPath() + QStringLiteral("/ovra-dupbench-XXXXXX"));
    const QString root = temp.path() + QStringLiteral("/tree");
    report("exact", QStringLiteral("load_average_before"), loadAverage(), "load");
    Stopwatch made;
    const Tree tree = generate(root, files);
    report("exact", QStringLiteral("tree_files"), files, "files");
    report("exact", QStringLiteral("tree_bytes"), double(tree.bytes), "bytes");
    report("exact", QStringLiteral("tree_groups"), tree.groups, "groups");
    report("exact", QStringLiteral("tree_decoys"), tree.decoys, "files");
    report("exact", QStringLiteral("tree_hard_links"), tree.hardLinks, "files");
    report("exact", QStringLiteral("generate_seconds"), made.elapsedMs() / 1000.0, "s");

    // Warm: one untimed pass reads every file into the cache for all three.
    // On a shared machine each tool's best of three runs counts.
    scanOurs(root, pool);
    QList<QStringList> ourGroups;
    double oursMs = 1e300;
    double oursCpu = 1e300;
    for (int run = 0; run < kRuns; ++run) {
        const double cpuBefore = cpuSeconds(RUSAGE_SELF);
        Stopwatch ours;
        ourGroups = scanOurs(root, pool);
        oursMs = std::min(oursMs, ours.elapsedMs());
        oursCpu = std::min(oursCpu, cpuSeconds(RUSAGE_SELF) - cpuBefore);
    }
    report("exact", QStringLiteral("ovra_seconds"), oursMs / 1000.0, "s");
    report("exact", QStringLiteral("ovra_cpu_seconds"), oursCpu, "s");
    {
        // As the app runs it: its threads at a low priority (a fresh pool, since
        // a thread once lowered stays low).
        QThreadPool lowPool;
        lowPool.setMaxThreadCount(pool.maxThreadCount());
        double lowMs = 1e300;
        for (int run = 0; run < kRuns; ++run) {
            Stopwatch low;
            scanOurs(root, lowPool, true);
            lowMs = std::min(lowMs, low.elapsedMs());
        }
        report("exact", QStringLiteral("ovra_low_priority_seconds"), lowMs / 1000.0, "s");
    }
    reportRescan(root, temp.path(), pool, normalised(ourGroups));
    report("exact", QStringLiteral("ovra_groups"), double(ourGroups.size()), "groups");
    report("exact", QStringLiteral("ovra_threads"), pool.maxThreadCount(), "threads");
    report("exact", QStringLiteral("load_average_during"), loadAverage(), "load");

    const GroupSet mine = normalised(ourGroups);
    const PeerRun jdupes =
        runPeer(QStringLiteral("jdupes"), {QStringLiteral("-r"), QStringLiteral("-q"), root});
    if (jdupes.ran) {
        const GroupSet theirs = normalised(jdupes.groups);
        report("exact", QStringLiteral("peer_jdupes_seconds"), jdupes.ms / 1000.0, "s");
        report("exact", QStringLiteral("peer_jdupes_cpu_seconds"), jdupes.cpu, "s");
        report("exact", QStringLiteral("peer_jdupes_groups"), double(theirs.size()), "groups");
        report("exact", QStringLiteral("same_groups_as_jdupes"), mine == theirs ? 1 : 0, "bool");
        report("exact", QStringLiteral("ratio"), jdupes.ms / oursMs, "x faster than jdupes");
    }
    const PeerRun rmlint =
        runPeer(QStringLiteral("rmlint"), {QStringLiteral("-T"), QStringLiteral("df"),
                                           QStringLiteral("-o"), QStringLiteral("fdupes"), root});
    if (rmlint.ran) {
        const GroupSet theirs = normalised(rmlint.groups);
        report("exact", QStringLiteral("peer_rmlint_seconds"), rmlint.ms / 1000.0, "s");
        report("exact", QStringLiteral("peer_rmlint_cpu_seconds"), rmlint.cpu, "s");
        report("exact", QStringLiteral("peer_rmlint_groups"), double(theirs.size()), "groups");
        report("exact", QStringLiteral("same_groups_as_rmlint"), mine == theirs ? 1 : 0, "bool");
        report("exact", QStringLiteral("ratio_rmlint"), rmlint.ms / oursMs, "x faster than rmlint");
    }
    report("exact", QStringLiteral("load_average_after"), loadAverage(), "load");
    return 0;
}

} // namespace ovra::bench
