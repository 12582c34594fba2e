// ovra-dupbench: benchmarks of the duplicate finder, one subcommand each, every
// figure printed as one JSON object per line.

#include "ExactBench.h"
#include "SimilarBench.h"

#include <QGuiApplication>

namespace {

using namespace ovra::bench;

const std::vector<Subcommand> kSubcommands = {
    {"exact", runExact,
     "a generated tree of copies, decoys and hard links vs jdupes and rmlint [--files N]; or an "
     "existing folder [--dir D], its groups printed as jdupes prints them with [--print]"},
    {"similar", runSimilar,
     "generated 12-megapixel photos of look-alike pairs through the photo scanner [--photos N]"},
    {"cancel", runCancel,
     "two equal sparse files of N GB hashed whole and stopped at several moments [--size-gb N]"},
};

} // namespace

int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    return runSubcommand("ovra-dupbench", kSubcommands, app.arguments().mid(1));
}
