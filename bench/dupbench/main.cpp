#include "ExactBench.h"
#include "SimilarBench.h"

#include <QGuiApplication>

#include <cstdio>

// ovra-dupbench exact [--files N] [--dir D [--print]]
// ovra-dupbench similar [--photos N]
// ovra-dupbench cancel [--size-gb N]
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("exact")) return ovra::bench::runExact(args);
    if (command == QLatin1String("similar")) return ovra::bench::runSimilar(args);
    if (command == QLatin1String("cancel")) return ovra::bench::runCancel(args);
    std::fprintf(stderr, "usage: ovra-dupbench exact [--files N] [--dir D [--print]]\n"
                         "       ovra-dupbench similar [--photos N]\n"
                         "       ovra-dupbench cancel [--size-gb N]\n");
    return 2;
}
