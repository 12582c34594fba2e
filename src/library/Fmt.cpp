#include "Fmt.h"

#include <QLocale>
#include <QRegularExpression>

#include <algorithm>
#include <array>
#include <cmath>
#include <cstdio>

namespace ovra::Fmt {
namespace {

// Byte counts, in the style of a file manager's size column:
// - decimal units: 1 KB = 1000 bytes, then MB, GB, TB, PB, EB;
// - 0 is "Zero KB", 1 is "1 byte", 2 to 999 are "N bytes";
// - KB show no fraction digits, MB one, GB and larger two; the value is rounded
//   half away from zero and trailing fraction zeros are dropped ("2 GB", "1.5 MB");
// - a value that rounds up to 1000 of its unit is shown in the next unit
//   (999,999 bytes is "1 MB", not "1,000 KB");
// - digits, decimal separator and grouping are the default locale's.
struct ByteUnit {
    const char* name;
    int fractionDigits;
};
constexpr std::array<ByteUnit, 6> kByteUnits{
    {{"KB", 0}, {"MB", 1}, {"GB", 2}, {"TB", 2}, {"PB", 2}, {"EB", 2}}};

double roundTo(double value, int fractionDigits)
{
    const double scale = std::pow(10.0, fractionDigits);
    return std::round(value * scale) / scale;
}

QString byteMagnitude(double count)
{
    const QLocale locale;
    if (count < 1000) {
        const qint64 whole = static_cast<qint64>(count);
        return locale.toString(whole) +
               (whole == 1 ? QStringLiteral(" byte") : QStringLiteral(" bytes"));
    }
    double divisor = 1.0; // powers of 1000 up to 1e18 are exact doubles
    for (std::size_t i = 0; i < kByteUnits.size(); ++i) {
        divisor *= 1000.0;
        const double value = count / divisor;
        const double rounded = roundTo(value, kByteUnits[i].fractionDigits);
        if (rounded < 1000.0 || i + 1 == kByteUnits.size()) {
            return locale.toString(rounded, 'f', QLocale::FloatingPointShortest) + u' ' +
                   QLatin1String(kByteUnits[i].name);
        }
    }
    return {};
}

// Seconds beyond this are shown as this: rounding them to a 64-bit integer
// would overflow, and no real file plays for 285 billion years.
constexpr double kLongestDuration = 9.0e18;

// Dates are clamped to this many seconds either side of 1970 (about 300,000
// years), well inside what QDateTime holds, so a corrupt time still formats.
constexpr double kFarthestDate = 1.0e13;

// A date at least this old is shown as a date, not relative to now.
constexpr double kRelativeDateSpan = 518400; // six days

// Date and time differences split as a calendar does: whole years, then months,
// weeks, days, hours, minutes and seconds of what remains. All are >= 0.
struct Span {
    qint64 years = 0, months = 0, weeks = 0, days = 0, hours = 0, minutes = 0, seconds = 0;
};

Span calendarSpan(const QDateTime& from, const QDateTime& to)
{
    Span span;
    QDateTime at = from;
    // Each estimate from the dates alone is exact or one too many (the day or
    // time of day of `to` comes before that of `at`).
    int years = to.date().year() - at.date().year();
    if (years > 0 && at.addYears(years) > to) --years;
    at = at.addYears(years);
    int months = (to.date().year() - at.date().year()) * 12 + to.date().month() - at.date().month();
    if (months > 0 && at.addMonths(months) > to) --months;
    at = at.addMonths(months);
    qint64 days = at.date().daysTo(to.date());
    if (days > 0 && at.addDays(days) > to) --days;
    at = at.addDays(days);
    const qint64 rest = at.secsTo(to);
    span.years = years;
    span.months = months;
    span.weeks = days / 7;
    span.days = days % 7;
    span.hours = rest / 3600;
    span.minutes = rest % 3600 / 60;
    span.seconds = rest % 60;
    return span;
}

QString counted(qint64 n, const char* unit)
{
    QString text = QLocale().toString(n) + u' ' + QLatin1String(unit);
    if (n != 1) text += u's';
    return text;
}

QString relative(qint64 n, const char* unit, bool future)
{
    return future ? QStringLiteral("in ") + counted(n, unit)
                  : counted(n, unit) + QStringLiteral(" ago");
}

QString named(qint64 n, const char* unit, bool future, const char* previous, const char* next)
{
    if (n == 1) return QLatin1String(future ? next : previous);
    return relative(n, unit, future);
}

// English relative text, named where there is a name ("yesterday", "last week"),
// in the largest unit that is not zero.
QString relativeDate(const QDateTime& when, const QDateTime& now)
{
    const bool future = when > now;
    const Span s = future ? calendarSpan(now, when) : calendarSpan(when, now);
    if (s.years) return named(s.years, "year", future, "last year", "next year");
    if (s.months) return named(s.months, "month", future, "last month", "next month");
    if (s.weeks) return named(s.weeks, "week", future, "last week", "next week");
    if (s.days) {
        // Count calendar days, so a file from 10 pm the day before yesterday is
        // "2 days ago" at 8 am, not "yesterday" as 34 elapsed hours would say.
        const qint64 days = std::abs(now.date().daysTo(when.date()));
        return named(days, "day", future, "yesterday", "tomorrow");
    }
    if (s.hours) return relative(s.hours, "hour", future);
    if (s.minutes) return relative(s.minutes, "minute", future);
    if (s.seconds) return relative(s.seconds, "second", future);
    return QStringLiteral("now");
}

// The locale's long date without the weekday and with abbreviated month names:
// "8 Dec 2026" in Britain, "Dec 8, 2026" in the US, "8. Dez. 2026" in Germany.
QString abbreviatedDate(const QDate& date)
{
    const QLocale locale;
    QString format = locale.dateFormat(QLocale::LongFormat);
    static const QRegularExpression weekday(QStringLiteral("\\s*d{4}[,.]?\\s*"));
    format.replace(weekday, QStringLiteral(" "));
    format.replace(QStringLiteral("MMMM"), QStringLiteral("MMM"));
    format = format.trimmed();
    while (format.startsWith(u','))
        format = format.mid(1).trimmed();
    while (format.endsWith(u','))
        format = format.chopped(1).trimmed();
    return locale.toString(date, format);
}

// Out-of-range and missing times land on a date QDateTime can hold.
double clamped(double seconds)
{
    return std::isnan(seconds) ? -kFarthestDate
                               : std::clamp(seconds, -kFarthestDate, kFarthestDate);
}

// The locale's short time, hours and minutes: some locales' short format
// (the C locale's among them) still carries the seconds.
QString shortTime(const QTime& time)
{
    const QLocale locale;
    QString format = locale.timeFormat(QLocale::ShortFormat);
    static const QRegularExpression seconds(QStringLiteral("[:.]s{1,2}"));
    format.remove(seconds);
    return locale.toString(time, format.trimmed());
}

} // namespace

QString bytes(qint64 count)
{
    if (count == 0) return QStringLiteral("Zero KB");
    // Through double, so the most negative count has a magnitude too.
    const double magnitude = std::abs(static_cast<double>(count));
    return count < 0 ? u'-' + byteMagnitude(magnitude) : byteMagnitude(magnitude);
}

QString duration(double seconds)
{
    if (!std::isfinite(seconds) || seconds < 0) return QStringLiteral("0:00");
    const long long total = std::llround(std::min(seconds, kLongestDuration));
    char text[48];
    if (total < 3600)
        std::snprintf(text, sizeof text, "%lld:%02lld", total / 60, total % 60);
    else
        std::snprintf(text, sizeof text, "%lld:%02lld:%02lld", total / 3600, total % 3600 / 60,
                      total % 60);
    return QString::fromLatin1(text);
}

QString date(double seconds)
{
    return date(seconds, QDateTime::currentDateTime());
}

QString date(double seconds, const QDateTime& now)
{
    seconds =
        std::isnan(seconds) ? -kFarthestDate : std::clamp(seconds, -kFarthestDate, kFarthestDate);
    const QDateTime when = QDateTime::fromMSecsSinceEpoch(std::llround(seconds * 1000.0));
    const double age = now.toMSecsSinceEpoch() / 1000.0 - seconds;
    if (age < kRelativeDateSpan) return relativeDate(when, now.toLocalTime());
    return abbreviatedDate(when.date());
}

QString dateTime(double seconds)
{
    const QDateTime when =
        QDateTime::fromMSecsSinceEpoch(std::llround(clamped(seconds) * 1000.0)).toLocalTime();
    return abbreviatedDate(when.date()) + QStringLiteral(", ") + shortTime(when.time());
}

} // namespace ovra::Fmt
