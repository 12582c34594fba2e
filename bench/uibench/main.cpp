// ovra-uibench: benchmarks of the file views, one subcommand each, every
// figure printed as one JSON object per line; and `show`, which renders the
// views to pictures for a person to look at.

#include "UiBench.h"

#include <QStringList>

namespace {

using namespace ovra::bench;

// The subcommands, each handed the application object.
std::vector<Subcommand> subcommands(BenchApplication& app)
{
    using Run = int (*)(BenchApplication&, const Arguments&);
    const auto on = [&app](Run run) {
        return [&app, run](const Arguments& args) { return run(app, args); };
    };
    return {
        {"open", on(runOpenBench),
         "a collection opened, filtered and sorted; the longest GUI stall of each [--items N]"},
        {"scroll", on(runScrollBench),
         "a collection scrolled top to bottom as cards, then as rows [--items N] [--step PX] "
         "[--max-frames N]"},
        {"search", on(runSearchBench),
         "from the debounce's end to the results painted over a generated tree [--files N] [--dir "
         "D] "
         "[--cache D]"},
        {"startup", on(runStartupBench),
         "process start to the first painted window beside a bare Qt window, and to all nine "
         "collections on screen, with and without a saved index --home DIR [--files N] [--runs N] "
         "[--cold-runs N]"},
        {"startup-child", on(runStartupChild)},
        {"startup-load", on(runStartupLoadBench),
         "the app started on a generated home with nothing indexed: first paint, longest GUI "
         "stall, "
         "when each part of the first indexing ends, cores and memory of the app and its helpers "
         "until all have ended [--files N] [--dir D] [--seconds S] [--max-seconds S] [--every S]"},
        {"open-folder", on(runOpenFolderBench),
         "a folder opened from its sidebar row until its listing is painted, beside ls -f "
         "[--items N]"},
        {"preview", on(runPreviewBench),
         "from Space to the painted preview of a 24-megapixel JPEG, a 300-page PDF and a 1 GB log, "
         "and the longest stall while the sheet pages through 50 files"},
        {"preview-show", on(runPreviewShowCommand),
         "the inspector on a picture, a PDF and a song, and the preview sheet with words selected, "
         "saved as PNGs [--out DIR]"},
        {"thumbnails", on(runThumbnailBench),
         "256 px thumbnails of generated 12-megapixel JPEGs and H.264 videos beside "
         "ffmpegthumbnailer, one process per core, runs alternating; median and spread of the "
         "ratios "
         "[--photos N] [--videos N] [--runs N] [--dir D: keeps the generated files]"},
        {"quit", on(runQuitBench),
         "SIGTERM at moments of the app's work on a large home (first indexing, contents, "
         "recognition), timed to the process's end --home DIR [--files N] [--runs N]"},
        {"quit-child", on(runQuitChild)},
        {"show", on(runShowCommand),
         "cards, rows and a search with chips of generated pictures, saved as PNGs [--out DIR]"},
    };
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
    BenchApplication app(argc, argv);
    QStringList words = app.arguments().mid(1);
    words.removeAll(QStringLiteral("--xcb"));
    return runSubcommand("ovra-uibench", subcommands(app), words);
}
