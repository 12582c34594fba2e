#include "IndexBench.h"
#include "ParseCommand.h"

#include <QCoreApplication>
#include <QStringList>

#include <cstdio>
#include <functional>
#include <map>

int main(int argc, char** argv)
{
    QCoreApplication app(argc, argv);
    QStringList args = app.arguments().mid(1);
    const std::map<QString, std::function<int(const QStringList&)>> commands{
        {"bench", ovra::bench::runIndexBench},
        {"query", ovra::bench::runQueryCommand},
        {"parse", ovra::bench::runParseCommand},
    };
    if (args.isEmpty() || !commands.count(args.first())) {
        std::fprintf(stderr, "usage: ovra-mdbench bench|query|parse …\n");
        return 2;
    }
    const QString command = args.takeFirst();
    return commands.at(command)(args);
}
