// ovra-mdbench: benchmarks of the metadata engine, one subcommand each, every
// figure printed as one JSON object per line.

#include "CleanupBench.h"
#include "ContentBench.h"
#include "IndexBench.h"
#include "LiveBench.h"
#include "ParseCommand.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <cstring>

namespace {

struct Subcommand {
    const char* name;
    int (*run)(const QStringList& args);
    const char* summary;
};

const Subcommand kSubcommands[] = {
    {"bench", ovra::bench::runIndexBench,
     "metadata index build, refresh and collection queries vs find and fd [--files N] [--dir D] "
     "[--threads T]"},
    {"query", ovra::bench::runQueryCommand,
     "FOLDER 'QUERY STRING' [--sort ATTRIBUTE] [--limit N]: matching paths, then 'total N size S'"},
    {"content", ovra::bench::runContentBench,
     "content index vs recollindex/recollq [--docs N] [--dir D] [--threads T] [--repeat R] "
     "[--no-peer]"},
    {"cleanup", ovra::bench::runCleanupBench,
     "cleanup kinds and download-source grouping on the warm index [--files N] [--dir D] "
     "[--repeat R]"},
    {"live", ovra::bench::runLiveBench,
     "files created, renamed and deleted while queries run: change to query, idle CPU "
     "[--files N] [--dir D] [--changes C] [--idle S]"},
    {"parse", ovra::bench::runParseCommand,
     "'TEXT': the query string a typed search becomes, then its chips"},
};

int usage()
{
    std::fprintf(stderr, "usage: ovra-mdbench <subcommand> [options]\n");
    for (const Subcommand& s : kSubcommands)
        std::fprintf(stderr, "  %-10s %s\n", s.name, s.summary);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    if (args.isEmpty()) return usage();
    const QString name = args.takeFirst();
    for (const Subcommand& s : kSubcommands) {
        if (name == QLatin1String(s.name)) return s.run(args);
    }
    return usage();
}
