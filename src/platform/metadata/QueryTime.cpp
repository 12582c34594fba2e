#include "QueryTime.h"

#include <QLocale>
#include <QTimeZone>

namespace ovra::md {
namespace {

// Far enough for any file date; keeps calendar arithmetic well inside QDate.
constexpr qint64 kMaxDayOffset = 1'000'000;

QDateTime startOfDayLike(QDate date, const QDateTime& now)
{
    switch (now.timeSpec()) {
    case Qt::UTC: return date.startOfDay(Qt::UTC);
    case Qt::OffsetFromUTC: return date.startOfDay(Qt::OffsetFromUTC, now.offsetFromUtc());
    case Qt::TimeZone: return date.startOfDay(now.timeZone());
    case Qt::LocalTime: break;
    }
    return date.startOfDay(Qt::LocalTime);
}

QDateTime localLike(QDate date, QTime time, const QDateTime& now)
{
    switch (now.timeSpec()) {
    case Qt::UTC: return QDateTime(date, time, Qt::UTC);
    case Qt::OffsetFromUTC: return QDateTime(date, time, Qt::OffsetFromUTC, now.offsetFromUtc());
    case Qt::TimeZone: return QDateTime(date, time, now.timeZone());
    case Qt::LocalTime: break;
    }
    return QDateTime(date, time, Qt::LocalTime);
}

std::optional<double> seconds(const QDateTime& t)
{
    if (!t.isValid()) return std::nullopt;
    return static_cast<double>(t.toMSecsSinceEpoch()) / 1000.0;
}

// A fixed number of ASCII digits at `pos`, advancing it.
std::optional<int> digits(QStringView text, qsizetype& pos, int count)
{
    if (pos + count > text.size()) return std::nullopt;
    int value = 0;
    for (int i = 0; i < count; ++i) {
        const QChar c = text.at(pos + i);
        if (c < u'0' || c > u'9') return std::nullopt;
        value = value * 10 + (c.unicode() - u'0');
    }
    pos += count;
    return value;
}

bool skip(QStringView text, qsizetype& pos, QChar c)
{
    if (pos < text.size() && text.at(pos) == c) {
        ++pos;
        return true;
    }
    return false;
}

// "HH:MM[:SS[.fff…]]"
std::optional<QTime> parseTime(QStringView text, qsizetype& pos)
{
    const auto hour = digits(text, pos, 2);
    if (!hour || !skip(text, pos, u':')) return std::nullopt;
    const auto minute = digits(text, pos, 2);
    if (!minute) return std::nullopt;
    int second = 0;
    int msec = 0;
    if (skip(text, pos, u':')) {
        const auto s = digits(text, pos, 2);
        if (!s) return std::nullopt;
        second = *s;
        if (skip(text, pos, u'.') || skip(text, pos, u',')) {
            int scale = 100;
            const qsizetype fractionStart = pos;
            while (pos < text.size() && text.at(pos) >= u'0' && text.at(pos) <= u'9') {
                msec += scale * (text.at(pos).unicode() - u'0');
                scale /= 10;
                ++pos;
            }
            if (pos == fractionStart) return std::nullopt;
        }
    }
    const QTime time(*hour, *minute, second, msec);
    if (!time.isValid()) return std::nullopt;
    return time;
}

// "Z", "+HH:MM", "+HHMM" or "+HH", as seconds east of UTC.
std::optional<int> parseZone(QStringView text, qsizetype& pos)
{
    if (skip(text, pos, u'Z') || skip(text, pos, u'z')) return 0;
    int sign = 0;
    if (skip(text, pos, u'+'))
        sign = 1;
    else if (skip(text, pos, u'-') || skip(text, pos, QChar(0x2212)))
        sign = -1;
    else
        return std::nullopt;
    const auto hours = digits(text, pos, 2);
    if (!hours || *hours > 23) return std::nullopt;
    int minutes = 0;
    if (pos < text.size()) {
        skip(text, pos, u':');
        const auto m = digits(text, pos, 2);
        if (!m || *m > 59) return std::nullopt;
        minutes = *m;
    }
    return sign * (*hours * 3600 + minutes * 60);
}

std::optional<qint64> integerArgument(bool hasArgument, QStringView argument, QString& error)
{
    if (!hasArgument || argument.isEmpty()) return 0;
    bool ok = false;
    const qint64 n = argument.toLongLong(&ok);
    if (!ok || n < -kMaxDayOffset || n > kMaxDayOffset) {
        error = QStringLiteral("expected a whole number, not \"%1\"").arg(argument);
        return std::nullopt;
    }
    return n;
}

} // namespace

std::optional<QDateTime> parseIsoDateTime(QStringView text, const QDateTime& now)
{
    qsizetype pos = 0;
    const auto year = digits(text, pos, 4);
    if (!year || !skip(text, pos, u'-')) return std::nullopt;
    const auto month = digits(text, pos, 2);
    if (!month || !skip(text, pos, u'-')) return std::nullopt;
    const auto day = digits(text, pos, 2);
    const QDate date = day ? QDate(*year, *month, *day) : QDate();
    if (!date.isValid()) return std::nullopt;
    if (pos == text.size()) return startOfDayLike(date, now);

    if (!skip(text, pos, u'T') && !skip(text, pos, u't') && !skip(text, pos, u' '))
        return std::nullopt;
    const auto time = parseTime(text, pos);
    if (!time) return std::nullopt;
    if (pos == text.size()) return localLike(date, *time, now);

    const auto offset = parseZone(text, pos);
    if (!offset || pos != text.size()) return std::nullopt;
    return QDateTime(date, *time, Qt::OffsetFromUTC, *offset);
}

std::optional<double> resolveTime(QStringView function, bool hasArgument, QStringView argument,
                                  const QDateTime& now, QString& error)
{
    if (!now.isValid()) {
        error = QStringLiteral("no valid current time to resolve $time against");
        return std::nullopt;
    }

    if (function == u"iso") {
        const auto t = hasArgument ? parseIsoDateTime(argument, now) : std::nullopt;
        if (!t || !t->isValid()) {
            error = QStringLiteral("expected an ISO 8601 date in $time.iso(…)");
            return std::nullopt;
        }
        return seconds(*t);
    }

    if (function == u"now") {
        double offset = 0;
        if (hasArgument && !argument.isEmpty()) {
            bool ok = false;
            offset = argument.toDouble(&ok);
            if (!ok || !qIsFinite(offset) || std::abs(offset) > kMaxDayOffset * 86400.0) {
                error = QStringLiteral("expected a number of seconds, not \"%1\"").arg(argument);
                return std::nullopt;
            }
        }
        return static_cast<double>(now.toMSecsSinceEpoch()) / 1000.0 + offset;
    }

    const QDate today = now.date();
    std::optional<QDate> day;
    if (function == u"yesterday" && (!hasArgument || argument.isEmpty())) {
        day = today.addDays(-1);
    } else if (function == u"today" || function == u"this_week" || function == u"this_month" ||
               function == u"this_year") {
        const auto n = integerArgument(hasArgument, argument, error);
        if (!n) return std::nullopt;
        if (function == u"today") {
            day = today.addDays(*n);
        } else if (function == u"this_week") {
            const int back = (today.dayOfWeek() - QLocale().firstDayOfWeek() + 7) % 7;
            day = today.addDays(7 * *n - back);
        } else if (function == u"this_month") {
            day = QDate(today.year(), today.month(), 1).addMonths(static_cast<int>(*n));
        } else {
            day = QDate(today.year(), 1, 1).addYears(static_cast<int>(*n));
        }
    } else {
        error = QStringLiteral("unknown time function \"$time.%1\"").arg(function);
        return std::nullopt;
    }

    const auto t = day->isValid() ? seconds(startOfDayLike(*day, now)) : std::nullopt;
    if (!t) error = QStringLiteral("date out of range");
    return t;
}

} // namespace ovra::md
