#include "ParseCommand.h"

#include "common/BenchOutput.h"

#include "library/NaturalSearch.h"

#include <QDateTime>

#include <cstdio>

namespace ovra::bench {

namespace {
constexpr const char* kParseBench = "parse";
} // namespace

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

int runParseBench(const Arguments& args)
{
    if (const QString unknown = args.firstUnknown({"--words"}); !unknown.isEmpty()) {
        std::fprintf(stderr, "unknown argument: %s\n", qPrintable(unknown));
        return 2;
    }
    const long long words = args.integer(QStringLiteral("--words"), 10'000);
    // Each word repeated: a bare type, a type in the plural, a kind, a number
    // and a quoted phrase, each claimed by its own rule, and a plain word with
    // a quoted phrase.
    const std::pair<const char*, QString> shapes[] = {
        {"type_word", QStringLiteral("png ")},
        {"plural_type_word", QStringLiteral("jpgs ")},
        {"kind_word", QStringLiteral("pdf ")},
        {"number", QStringLiteral("1 ")},
        {"quoted_phrase", QStringLiteral("\"a\" ")},
        {"word_and_quoted_phrase", QStringLiteral("x \"a\" ")},
    };
    const NaturalSearch::SearchCalendar calendar = NaturalSearch::SearchCalendar::current();
    const QDateTime now = QDateTime::currentDateTime();
    report(kParseBench, QStringLiteral("load_average"), loadAverage(), "load");
    for (const auto& [name, word] : shapes) {
        const QString text = word.repeated(qsizetype(words));
        const double cpuBefore = threadCpuMs();
        Stopwatch watch;
        const ParsedQuery query = NaturalSearch::parse(text, now, calendar);
        const double wall = watch.elapsedMs();
        const QString metric =
            QStringLiteral("parse_%1_%2_times").arg(QLatin1String(name)).arg(words);
        report(kParseBench, metric + QStringLiteral("_cpu_ms"), threadCpuMs() - cpuBefore, "ms");
        report(kParseBench, metric + QStringLiteral("_ms"), wall, "ms");
        report(kParseBench, metric + QStringLiteral("_extensions"), double(query.extensions.size()),
               "count");
    }
    return 0;
}

} // namespace ovra::bench
