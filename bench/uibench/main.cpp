// ovra-uibench: benchmarks of the file views, one subcommand each, every
// figure printed as one JSON object per line; and `show`, which renders the
// views to pictures for a person to look at.

#include "UiBench.h"

#include <QStringList>

#include <cstdio>

namespace {

struct Subcommand {
    const char* name;
    int (*run)(ovra::bench::BenchApplication& app, const QStringList& args);
    const char* summary;
    bool hidden = false; // started by another subcommand, not by a person
};

const Subcommand kSubcommands[] = {
    {"open", ovra::bench::runOpenBench,
     "a collection opened, filtered and sorted; the longest GUI stall of each [--items N]"},
    {"scroll", ovra::bench::runScrollBench,
     "a collection scrolled top to bottom as cards, then as rows [--items N] [--step PX] "
     "[--max-frames N]"},
    {"search", ovra::bench::runSearchBench,
     "from the debounce's end to the results painted over a generated tree [--files N] [--dir D] "
     "[--cache D]"},
    {"startup", ovra::bench::runStartupBench,
     "process start to the first painted window beside a bare Qt window, and to all nine "
     "collections on screen, with and without a saved index --home DIR [--files N] [--runs N] "
     "[--cold-runs N]"},
    {"startup-child", ovra::bench::runStartupChild, "", true},
    {"startup-load", ovra::bench::runStartupLoadBench,
     "the app started on a generated home with nothing indexed: first paint, longest GUI stall, "
     "when each part of the first indexing ends, cores and memory of the app and its helpers "
     "until all have ended [--files N] [--dir D] [--seconds S] [--max-seconds S] [--every S]"},
    {"open-folder", ovra::bench::runOpenFolderBench,
     "a folder opened from its sidebar row until its listing is painted, beside ls -f "
     "[--items N]"},
    {"preview", ovra::bench::runPreviewBench,
     "from Space to the painted preview of a 24-megapixel JPEG, a 300-page PDF and a 1 GB log, "
     "and the longest stall while the sheet pages through 50 files"},
    {"preview-show", ovra::bench::runPreviewShowCommand,
     "the inspector on a picture, a PDF and a song, and the preview sheet with words selected, "
     "saved as PNGs [--out DIR]"},
    {"thumbnails", ovra::bench::runThumbnailBench,
     "256 px thumbnails of generated 12-megapixel JPEGs and H.264 videos beside "
     "ffmpegthumbnailer, one process per core, runs alternating; median and spread of the ratios "
     "[--photos N] [--videos N] [--runs N] [--dir D: keeps the generated files]"},
    {"quit", ovra::bench::runQuitBench,
     "SIGTERM at moments of the app's work on a large home (first indexing, contents, "
     "recognition), timed to the process's end --home DIR [--files N] [--runs N]"},
    {"quit-child", ovra::bench::runQuitChild, "", true},
    {"show", ovra::bench::runShowCommand,
     "cards, rows and a search with chips of generated pictures, saved as PNGs [--out DIR]"},
};

int usage()
{
    std::fprintf(stderr, "usage: ovra-uibench <subcommand> [options]\n");
    for (const Subcommand& s : kSubcommands)
        if (!s.hidden) std::fprintf(stderr, "  %-8s %s\n", s.name, s.summary);
    return 2;
}

} // namespace

int main(int argc, char** argv)
{
    // Offscreen unless a display is asked for (xvfb-run sets DISPLAY and
    // QT_QPA_PLATFORM=xcb when run with --xcb).
    bool xcb = false;
    for (int i = 1; i < argc; ++i)
        xcb = xcb || QByteArray(argv[i]) == "--xcb";
    if (!xcb && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    if (xcb) qputenv("QT_QPA_PLATFORM", "xcb");
    // Files are read by the helper this build made, as the app reads them.
    if (!qEnvironmentVariableIsSet("OVRA_EXTRACT")) qputenv("OVRA_EXTRACT", OVRA_EXTRACT_PROGRAM);
    ovra::bench::BenchApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    args.removeAll(QStringLiteral("--xcb"));
    if (args.isEmpty()) return usage();
    const QString name = args.takeFirst();
    for (const Subcommand& s : kSubcommands) {
        if (name == QLatin1String(s.name)) return s.run(app, args);
    }
    return usage();
}
