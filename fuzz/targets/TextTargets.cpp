// The query language, the typed search and the download-origin classifier: text
// from the user or from a file's extended attributes.

#include "FuzzTargets.h"

#include "cleanup_model/DownloadSource.h"
#include "library/NaturalSearch.h"
#include "library/ParsedQuery.h"
#include "platform/metadata/ItemView.h"
#include "platform/metadata/Query.h"

#include <QTimeZone>

#include <cstdio>
#include <cstdlib>

namespace ovra::fuzz {
namespace {

QString utf8(const std::uint8_t* data, std::size_t size)
{
    return QString::fromUtf8(reinterpret_cast<const char*>(data), qsizetype(size));
}

// Fixed, so that one input always takes the same path.
const QDateTime& now()
{
    static const QDateTime at(QDate(2026, 3, 18), QTime(15, 30), QTimeZone("Europe/Berlin"));
    return at;
}

md::Item itemNamed(const QString& name)
{
    md::Item item;
    item.path = QStringLiteral("/home/ann/Documents/") + name;
    item.fsName = name;
    item.fsSize = 51200;
    item.contentChangeDate = 1.7e9;
    item.contentType = QStringLiteral("public.png");
    item.contentTypeTree = {QStringLiteral("public.png"), QStringLiteral("public.image"),
                            QStringLiteral("public.data"), QStringLiteral("public.item")};
    item.whereFroms = {name};
    item.title = name;
    item.authors = QStringList{name, name};
    return item;
}

} // namespace

// The first line is the query; the rest is a file name it is matched against.
void query(const std::uint8_t* data, std::size_t size)
{
    const QString text = utf8(data, size);
    const qsizetype newline = text.indexOf(u'\n');
    const QString queryText = newline < 0 ? text : text.left(newline);
    const QString name = newline < 0 ? QStringLiteral("Report 2024.png") : text.mid(newline + 1);
    const md::Query parsed = md::Query::parse(queryText, now());
    const bool matched = parsed.matches(md::ItemView(itemNamed(name)));
    // A string that does not parse is an error, never a query that matches.
    if (!parsed.isValid() && matched) {
        std::fprintf(stderr, "an invalid query matched\n");
        std::abort();
    }
}

void naturalSearch(const std::uint8_t* data, std::size_t size)
{
    NaturalSearch::SearchCalendar calendar;
    calendar.timeZone = QTimeZone("Europe/Berlin");
    calendar.locale = QLocale(QLocale::English, QLocale::UnitedStates);
    const ParsedQuery parsed = NaturalSearch::parse(utf8(data, size), now(), calendar);
    (void)parsed.chips();
    // Whatever a person types becomes a query the engine can run.
    const QString spotlight = parsed.spotlightQuery();
    if (!spotlight.isEmpty() && !md::Query::parse(spotlight, now()).isValid()) {
        std::fprintf(stderr, "typed text became a query that does not parse: %s\n",
                     qPrintable(spotlight));
        std::abort();
    }
}

// One where-from string per line, origin first, as a file's attributes give them.
void downloadSources(const std::uint8_t* data, std::size_t size)
{
    const QStringList whereFroms = utf8(data, size).split(u'\n');
    (void)DownloadSources::classify(whereFroms);
    for (const QString& line : whereFroms)
        (void)DownloadSources::registrableDomain(line);
}

} // namespace ovra::fuzz
