#include "ExactBench.h"
#include "SimilarBench.h"

#include <QGuiApplication>

#include <cstdio>

// ovra-dupbench exact [--files N] [--dir D [--print]]
// ovra-dupbench similar [--photos N]
int main(int argc, char** argv)
{
    if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
    QGuiApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const QString command = args.isEmpty() ? QString() : args.takeFirst();
    if (command == QLatin1String("exact")) return ovra::bench::runExact(args);
    if (command == QLatin1String("similar")) return ovra::bench::runSimilar(args);
    std::fprintf(stderr, "usage: ovra-dupbench exact [--files N] [--dir D [--print]]\n"
                         "       ovra-dupbench similar [--photos N]\n");
    return 2;
}
