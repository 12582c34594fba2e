#include "ParseCommand.h"

#include "library/NaturalSearch.h"

#include <QDateTime>

#include <cstdio>

namespace ovra::bench {

int runParseCommand(const Arguments& args)
{
    if (args.size() == 0) {
        std::fprintf(stderr, "usage: ovra-mdbench parse 'TEXT'\n");
        return 2;
    }
    // Unquoted words arrive as several arguments; they are one search.
    const ParsedQuery query =
        NaturalSearch::parse(args.words().join(u' '), QDateTime::currentDateTime(),
                             NaturalSearch::SearchCalendar::current());
    std::printf("%s\n", query.spotlightQuery().toUtf8().constData());
    for (const QString& chip : query.chips())
        std::printf("%s\n", chip.toUtf8().constData());
    return 0;
}

} // namespace ovra::bench
