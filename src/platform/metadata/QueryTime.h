#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <optional>

namespace ovra::md {

// The $time values of a query, in seconds since 1970, resolved against `now` in
// its own time zone: today(N), yesterday, this_week(N), this_month(N),
// this_year(N) are local midnights counted in calendar days, weeks, months and
// years (so a daylight-saving change in between shifts nothing); now(N) is N
// seconds from `now`; iso(text) is an ISO 8601 date or date-time (no zone given:
// local time). Nothing, with `error` set, when the function or its argument
// makes no sense.
std::optional<double> resolveTime(QStringView function, bool hasArgument, QStringView argument,
                                  const QDateTime& now, QString& error);

// "2024-01-31", "2024-01-31T10:00", "2024-01-31T10:00:00.5Z", "2024-01-31 10:00:00+01:00", …
// A date alone is that day's local midnight; a time without a zone is local.
std::optional<QDateTime> parseIsoDateTime(QStringView text, const QDateTime& now);

} // namespace ovra::md
