#include "LiveBench.h"

#include "common/BenchOutput.h"
#include "common/TreeGenerator.h"

#include "platform/metadata/MetadataIndex.h"

#include <QDir>
#include <QFile>
#include <QFileInfo>
#include <QTemporaryDir>

#include <algorithm>
#include <atomic>
#include <filesystem>
#include <functional>
#include <random>
#include <thread>
#include <vector>

#include <sys/resource.h>

namespace ovra::bench {
namespace {

using md::Attr;
using md::MetadataIndex;
using md::Query;

constexpr const char* kBench = "live";

// Every query over a large home costs in proportion to its size, and a change is
// asked for until a query shows it: fewer changes on a larger home keep the run
// short while leaving enough of them for a median, a 95th percentile and a maximum.
int defaultChanges(long files)
{
    constexpr long kChangedFiles = 30'000'000; // changes × files at the most
    return int(std::clamp(kChangedFiles / std::max(1L, files), 50L, 300L));
}

std::vector<QString> visibleFolders(const QString& root)
{
    std::vector<QString> out{root};
    std::error_code error;
    for (auto it = std::filesystem::recursive_directory_iterator(root.toStdString(), error);
         it != std::filesystem::recursive_directory_iterator(); it.increment(error)) {
        if (it->path().filename().string().front() == '.') {
            if (it->is_directory(error)) it.disable_recursion_pending();
            continue;
        }
        if (it->is_directory(error) && !it->is_symlink(error))
            out.push_back(QString::fromStdString(it->path().string()));
    }
    return out;
}

} // namespace

int runLiveBench(const Arguments& args)
{
    const long files = args.integer(QStringLiteral("--files"), 100000);
    const int changes = int(args.integer(QStringLiteral("--changes"), defaultChanges(files)));
    const double roundsBudgetMs = args.number(QStringLiteral("--rounds-seconds"), 180) * 1000;
    const int idleSeconds = int(args.integer(QStringLiteral("--idle"), 10));
    QTemporaryDir temporary;
    const QString root =
        args.text(QStringLiteral("--dir"), temporary.path() + QStringLiteral("/home"));
    if (!QFileInfo::exists(root)) {
        Stopwatch generating;
        generateTree(root, files);
        report(kBench, QStringLiteral("generate"), generating.elapsedMs(), "ms");
    }
    Stopwatch listing;
    const std::vector<QString> folders = visibleFolders(root);
    report(kBench, QStringLiteral("folders"), double(folders.size()), "folders");
    report(kBench, QStringLiteral("list folders"), listing.elapsedMs(), "ms");

    // A home given by --dir keeps its saved index and its files' attributes
    // beside it, as the app keeps them between starts: on a large home the first
    // walk, with its reads of media files, would otherwise be most of every run
    // of a benchmark about what follows it.
    const QFileInfo home(root);
    const QString cacheDir =
        args.text(QStringLiteral("--dir")).isEmpty()
            ? temporary.path() + QStringLiteral("/cache")
            : home.absolutePath() + u'/' + home.fileName() + QStringLiteral(".index");
    const bool cached = QFileInfo::exists(cacheDir);
    MetadataIndex::Options options;
    options.cacheDir = cacheDir;
    MetadataIndex index(options);
    const QStringList scopes{root};
    {
        Stopwatch building;
        index.ensureScopes(scopes);
        report(kBench, QString::fromLatin1(cached ? "build from saved index" : "build"),
               building.elapsedMs(), "ms");
    }
    report(kBench, QStringLiteral("files"), double(index.stats().files), "files");

    // Collections asked for all the while, as views reloading would.
    std::atomic_bool done = false;
    std::vector<double> queryMs;
    std::thread querying([&] {
        const Query queries[] = {
            Query::parse(QStringLiteral("kMDItemContentTypeTree == 'public.image'")),
            Query::parse(QStringLiteral("kMDItemFSSize > 100000000")),
            Query::parse(QStringLiteral("kMDItemContentTypeTree == 'public.movie'"))};
        for (std::size_t i = 0; !done; ++i) {
            Stopwatch one;
            index.query(queries[i % 3], scopes, Attr::FSContentChangeDate, 1000);
            queryMs.push_back(one.elapsedMs());
        }
    });

    std::mt19937 random(15);
    auto pick = [&] { return folders[random() % folders.size()]; };
    std::vector<double> latencies;
    int missed = 0;
    Stopwatch rounds;
    for (int i = 0; i < changes && rounds.elapsedMs() < roundsBudgetMs; ++i) {
        const QString name = QStringLiteral("live-%1.txt").arg(i);
        const Query byName = Query::parse(QStringLiteral("kMDItemFSName == '%1'").arg(name));
        const QString created = pick() + u'/' + name;
        const QString renamed = pick() + u'/' + name;
        // Each change is made, then asked for until a query shows it.
        auto measure = [&](const std::function<void()>& change,
                           const std::function<bool(const MetadataIndex::Results&)>& seen) {
            change();
            Stopwatch since;
            while (since.elapsedMs() < 10000) {
                if (seen(index.query(byName, scopes, std::nullopt, 10))) {
                    latencies.push_back(since.elapsedMs());
                    return;
                }
                std::this_thread::sleep_for(std::chrono::milliseconds(2));
            }
            ++missed;
            latencies.push_back(since.elapsedMs());
        };
        measure(
            [&] {
                QFile f(created);
                if (f.open(QIODevice::WriteOnly)) f.write("live");
            },
            [&](const auto& r) { return r.count() == 1 && r.path(0) == created; });
        measure([&] { QFile::rename(created, renamed); },
                [&](const auto& r) { return r.count() == 1 && r.path(0) == renamed; });
        measure([&] { QFile::remove(renamed); }, [](const auto& r) { return r.count() == 0; });
    }
    done = true;
    querying.join();
    report(kBench, QStringLiteral("rounds"), rounds.elapsedMs(), "ms");
    std::sort(latencies.begin(), latencies.end());
    std::sort(queryMs.begin(), queryMs.end());
    report(kBench, QStringLiteral("changes"), double(latencies.size()), "changes");
    report(kBench, QStringLiteral("background queries"), double(queryMs.size()), "queries");
    if (!queryMs.empty())
        report(kBench, QStringLiteral("background query_ms median"), queryMs[queryMs.size() / 2],
               "ms");
    report(kBench, QStringLiteral("change_to_query_ms median"), latencies[latencies.size() / 2],
           "ms");
    report(kBench, QStringLiteral("change_to_query_ms p95"), latencies[latencies.size() * 95 / 100],
           "ms");
    report(kBench, QStringLiteral("change_to_query_ms max"), latencies.back(), "ms");
    report(kBench, QStringLiteral("changes not seen within 10 s"), missed, "changes");

    // The changes' tables are written a while after the last one: idle starts then.
    std::this_thread::sleep_for(std::chrono::seconds(35));
    const double before = cpuSeconds(RUSAGE_SELF);
    Stopwatch idle;
    std::this_thread::sleep_for(std::chrono::seconds(idleSeconds));
    const double used = cpuSeconds(RUSAGE_SELF) - before;
    report(kBench, QStringLiteral("idle cpu"), 100.0 * used / (idle.elapsedMs() / 1000.0),
           "% of a core");
    return missed == 0 ? 0 : 1;
}

} // namespace ovra::bench
