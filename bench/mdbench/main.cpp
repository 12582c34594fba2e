// ovra-mdbench: benchmarks of the metadata engine, one subcommand each, every
// figure printed as one JSON object per line.

#include "CleanupBench.h"
#include "ContentBench.h"
#include "IndexBench.h"
#include "LiveBench.h"
#include "OcrBench.h"
#include "OwnFilesBench.h"
#include "ParseCommand.h"

#include <QCoreApplication>
#include <QGuiApplication>
#include <QStringList>

#include <cstring>
#include <memory>

namespace {

using namespace ovra::bench;

const std::vector<Subcommand> kSubcommands = {
    {"bench", runIndexBench,
     "metadata index build, refresh and collection queries vs find and fd [--files N] [--dir D] "
     "[--threads T]"},
    {"query", runQueryCommand,
     "FOLDER 'QUERY STRING' [--sort ATTRIBUTE] [--limit N]: matching paths, then 'total N size S'"},
    {"content", runContentBench,
     "content index vs recollindex/recollq [--docs N] [--dir D] [--threads T] [--repeat R] "
     "[--no-peer]"},
    {"cleanup", runCleanupBench,
     "cleanup kinds and download-source grouping on the warm index [--files N] [--dir D] "
     "[--repeat R]"},
    {"ocr", runOcrBench,
     "text recognition of generated screenshots and scanned PDFs vs tesseract, and the text "
     "index at size [--screenshots N] [--pdfs N] [--entries N]"},
    {"live", runLiveBench,
     "files created, renamed and deleted while queries run: change to query, idle CPU "
     "[--files N] [--dir D] [--changes C] [--rounds-seconds S] [--idle S]"},
    {"ownfiles", runOwnFilesBench,
     "the app's own files at size: settings of many keys read and saved, an icon theme naming "
     "one folder over and over, stored thumbnails at the cap or inflating to megabytes judged "
     "[--keys N] [--repeats R]"},
    {"parse", runParseCommand, "'TEXT': the query string a typed search becomes, then its chips"},
    {"parsebench", runParseBench,
     "typed searches of one word said over and over parsed, a kind of word each [--words N]"},
};

} // namespace

int main(int argc, char** argv)
{
    // Drawing the generated pages' text needs the GUI's fonts; nothing is shown.
    const bool needsFonts = argc > 1 && std::strcmp(argv[1], "ocr") == 0;
    if (needsFonts && !qEnvironmentVariableIsSet("QT_QPA_PLATFORM"))
        qputenv("QT_QPA_PLATFORM", "offscreen");
    std::unique_ptr<QCoreApplication> app = needsFonts
                                                ? std::make_unique<QGuiApplication>(argc, argv)
                                                : std::make_unique<QCoreApplication>(argc, argv);
    // Files are read by the helper this build made, as the app reads them.
    if (!qEnvironmentVariableIsSet("OVRA_EXTRACT")) qputenv("OVRA_EXTRACT", OVRA_EXTRACT_PROGRAM);
    return runSubcommand("ovra-mdbench", kSubcommands, app->arguments().mid(1));
}
