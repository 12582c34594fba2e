#include "NaturalSearch.h"

#include "QueryVocabulary.h"
#include "SearchText.h"

#include <array>
#include <functional>

namespace ovra::NaturalSearch {

namespace {

// Dates the parser records stay within the years a query string can write with
// four digits. A count that would leave them ("last 999999999999 years") names
// no date, and its words stay search terms.
constexpr int kFirstWritableYear = 1;
constexpr int kLastWritableYear = 9999;
// Beyond this many units every result leaves the writable years anyway; the
// bound keeps the arithmetic below inside int and qint64.
constexpr qint64 kLargestUnitCount = 10'000'000;

constexpr qint64 kBigSize = 100'000'000;
constexpr qint64 kHugeSize = 1'000'000'000;
constexpr qint64 kSmallSize = 1'000'000;
constexpr int kRecentDays = 14;

struct Interval {
    QDateTime start;
    QDateTime end;
};

// Calendar arithmetic in the search calendar's time zone: adding days keeps the
// wall-clock time across a change of daylight-saving time, adding months keeps
// the day of the month where it exists and takes the month's last day where not.
class CalendarMath {
public:
    explicit CalendarMath(const SearchCalendar& calendar)
        : m_calendar(calendar)
    {
    }

    QDateTime local(const QDateTime& instant) const
    {
        return instant.toTimeZone(m_calendar.timeZone);
    }

    std::optional<QDateTime> startOfDay(QDate date) const
    {
        if (!date.isValid()) return std::nullopt;
        return writable(date.startOfDay(m_calendar.timeZone));
    }

    std::optional<QDateTime> adding(const QDateTime& date, DateUnit unit, qint64 count) const
    {
        if (count < -kLargestUnitCount || count > kLargestUnitCount) return std::nullopt;
        const QDateTime start = local(date);
        switch (unit) {
        case DateUnit::day: return writable(start.addDays(count));
        case DateUnit::week: return writable(start.addDays(7 * count));
        case DateUnit::month: return writable(start.addMonths(static_cast<int>(count)));
        case DateUnit::year: return writable(start.addYears(static_cast<int>(count)));
        }
        return std::nullopt;
    }

    std::optional<QDateTime> subtracting(const QDateTime& date, DateUnit unit, qint64 count) const
    {
        // Checked before negating: the negation of the smallest qint64 overflows.
        if (count < -kLargestUnitCount || count > kLargestUnitCount) return std::nullopt;
        return adding(date, unit, -count);
    }

    // The calendar day, week, month or year that contains `date`.
    std::optional<Interval> interval(DateUnit unit, const QDateTime& date) const
    {
        const QDate day = local(date).date();
        QDate first;
        QDate next;
        switch (unit) {
        case DateUnit::day:
            first = day;
            next = day.addDays(1);
            break;
        case DateUnit::week: {
            const int back = (day.dayOfWeek() - int(m_calendar.firstDayOfWeek) + 7) % 7;
            first = day.addDays(-back);
            next = first.addDays(7);
            break;
        }
        case DateUnit::month:
            first = QDate(day.year(), day.month(), 1);
            next = first.addMonths(1);
            break;
        case DateUnit::year:
            first = QDate(day.year(), 1, 1);
            next = first.addYears(1);
            break;
        }
        auto start = startOfDay(first);
        auto end = startOfDay(next);
        if (!start || !end) return std::nullopt;
        return Interval{*start, *end};
    }

private:
    static std::optional<QDateTime> writable(const QDateTime& date)
    {
        if (!date.isValid()) return std::nullopt;
        const int year = date.toUTC().date().year();
        if (year < kFirstWritableYear || year > kLastWritableYear) return std::nullopt;
        return date;
    }

    const SearchCalendar& m_calendar;
};

QString counted(qint64 count, DateUnit unit)
{
    return QString::number(count) + u' ' + unitName(unit) +
           (count == 1 ? QString() : QStringLiteral("s"));
}

bool isOneOf(const QString& word, std::initializer_list<const char*> words)
{
    for (const char* w : words)
        if (word == QLatin1String(w)) return true;
    return false;
}

bool startsWithNumeral(const QString& token)
{
    if (token.isEmpty()) return false;
    const QChar first = token.front();
    if (first.isHighSurrogate() && token.size() > 1)
        return QChar::isNumber(QChar::surrogateToUcs4(first, token.at(1)));
    return first.isNumber();
}

// Takes the quoted phrases out of the text, in order, and leaves the rest: the
// text on the two sides of a phrase joins directly, so a"b"c leaves "ac". One
// pass: the text is read on from each phrase's end, never again from its start.
QString takeQuotedPhrases(QStringView text, QStringList& phrases)
{
    QString rest;
    qsizetype from = 0;
    for (;;) {
        const qsizetype open = text.indexOf(u'"', from);
        if (open < 0) break;
        const qsizetype close = text.indexOf(u'"', open + 1);
        if (close < 0) break;
        rest += text.sliced(from, open - from);
        const QString phrase = trimmedSearchText(text.sliced(open + 1, close - open - 1));
        if (!phrase.isEmpty()) phrases << phrase;
        from = close + 1;
    }
    rest += text.sliced(from);
    return rest;
}

// One walk over the tokens. Each rule either claims the token at the position
// (and maybe some after it), moving the position past what it used, or leaves
// it to the next rule.
class Walk {
public:
    Walk(QStringView text, const QDateTime& now, const SearchCalendar& calendar)
        : m_now(now)
        , m_calendar(calendar)
        , m_math(calendar)
        , m_currentYear(m_math.local(now).date().year())
    {
        m_query.raw = trimmedSearchText(text);
        QStringList phrases;
        m_tokens = tokenize(takeQuotedPhrases(m_query.raw, phrases));
        m_query.terms = phrases;
    }

    ParsedQuery run()
    {
        using Rule = bool (Walk::*)();
        static constexpr std::array<Rule, 18> rules{
            &Walk::comparisonWithSize, &Walk::atLeast,    &Walk::bareSize,
            &Walk::sizeAdjective,      &Walk::fixedDate,  &Walk::relativePeriod,
            &Walk::unitsAgo,           &Walk::olderThan,  &Walk::monthName,
            &Walk::yearNumber,         &Walk::folderWord, &Walk::kindWord,
            &Walk::bareExtension,      &Walk::cameraWord, &Walk::drive,
            &Walk::sourceKeyword,      &Walk::webDomain,  &Walk::stopword,
        };
        while (m_i < m_tokens.size()) {
            bool claimed = false;
            for (const Rule rule : rules) {
                if ((this->*rule)()) {
                    claimed = true;
                    break;
                }
            }
            if (!claimed) {
                m_unclaimed << token(m_i);
                ++m_i;
            }
        }
        m_query.terms << m_unclaimed;
        return m_query;
    }

private:
    // The token at a position; a null string past either end.
    QString token(qsizetype at) const
    {
        return at >= 0 && at < m_tokens.size() ? m_tokens.at(at) : QString();
    }
    QString t() const { return token(m_i); }
    QString prev() const { return token(m_i - 1); }

    bool claim(qsizetype count)
    {
        m_i += count;
        return true;
    }

    void setRange(const QDateTime& start, const std::optional<QDateTime>& end, const QString& label)
    {
        const QString before = prev();
        if (isOneOf(before, {"since", "after"})) {
            m_query.after = start;
            m_query.dateLabel = QStringLiteral("Since ") + label;
        } else if (before == QLatin1String("before")) {
            m_query.before = start;
            m_query.dateLabel = QStringLiteral("Before ") + label;
        } else {
            m_query.after = start;
            m_query.before = end;
            m_query.dateLabel = label;
        }
    }

    void setSize(Bound bound, qint64 bytes)
    {
        (bound == Bound::atLeast ? m_query.minSize : m_query.maxSize) = bytes;
    }

    // "over 2 gb", "smaller than 5mb", "> 10mb".
    bool comparisonWithSize()
    {
        const auto bound = comparator(t());
        if (!bound) return false;
        const qsizetype at = token(m_i + 1) == QLatin1String("than") ? m_i + 2 : m_i + 1;
        const auto reading = size(at, m_tokens);
        if (!reading) return false;
        setSize(*bound, reading->bytes);
        m_i = at + reading->tokenCount;
        return true;
    }

    bool atLeast()
    {
        if (t() != QLatin1String("at") || token(m_i + 1) != QLatin1String("least")) return false;
        const auto reading = size(m_i + 2, m_tokens);
        if (!reading) return false;
        m_query.minSize = reading->bytes;
        return claim(2 + reading->tokenCount);
    }

    // A size on its own ("500kb") is a lower bound.
    bool bareSize()
    {
        const auto reading = size(m_i, m_tokens);
        if (!reading || !startsWithNumeral(t())) return false;
        const QString used = m_tokens.mid(m_i, reading->tokenCount).join(QString());
        if (std::none_of(used.begin(), used.end(), [](QChar c) { return c.isLetter(); }))
            return false;
        m_query.minSize = reading->bytes;
        return claim(reading->tokenCount);
    }

    bool sizeAdjective()
    {
        const QString word = t();
        if (isOneOf(word, {"large", "big", "biggest", "largest", "heavy"})) {
            if (!m_query.minSize) m_query.minSize = kBigSize;
            return claim(1);
        }
        if (isOneOf(word, {"huge", "massive", "enormous"})) {
            m_query.minSize = kHugeSize;
            return claim(1);
        }
        if (isOneOf(word, {"small", "tiny", "smallest"})) {
            if (!m_query.maxSize) m_query.maxSize = kSmallSize;
            return claim(1);
        }
        return false;
    }

    bool fixedDate()
    {
        const QString word = t();
        if (word == QLatin1String("today")) {
            const auto today = m_math.interval(DateUnit::day, m_now);
            if (!today) return false;
            setRange(today->start, std::nullopt, QStringLiteral("Today"));
            return claim(1);
        }
        if (word == QLatin1String("yesterday")) {
            const auto today = m_math.interval(DateUnit::day, m_now);
            const auto yesterday =
                today ? m_math.adding(today->start, DateUnit::day, -1) : std::nullopt;
            if (!yesterday) return false;
            setRange(*yesterday, today->start, QStringLiteral("Yesterday"));
            return claim(1);
        }
        if (isOneOf(word, {"recent", "recently", "latest", "new", "newest"})) {
            // From the present instant, not from the start of today.
            const auto after = m_math.adding(m_now, DateUnit::day, -kRecentDays);
            if (!after) return false;
            m_query.after = after;
            m_query.dateLabel = QStringLiteral("Recent");
            return claim(1);
        }
        return false;
    }

    // "this week", "last month", "past year", "last 3 weeks".
    bool relativePeriod()
    {
        const QString word = t();
        if (!isOneOf(word, {"this", "last", "past", "previous"}) || m_i + 1 >= m_tokens.size())
            return false;

        const auto count = integer(token(m_i + 1));
        const auto countedUnit = dateUnit(token(m_i + 2));
        if (count && countedUnit) {
            const auto after = m_math.subtracting(m_now, *countedUnit, *count);
            if (!after) return false;
            m_query.after = after;
            m_query.dateLabel = QStringLiteral("Past ") + counted(*count, *countedUnit);
            return claim(3);
        }

        const auto unit = dateUnit(token(m_i + 1));
        if (!unit) return false;
        const QString name = unitName(*unit);
        if (word == QLatin1String("this")) {
            const auto current = m_math.interval(*unit, m_now);
            if (!current) return false;
            setRange(current->start, std::nullopt, QStringLiteral("This ") + name);
        } else if (word == QLatin1String("past")) {
            const auto after = m_math.subtracting(m_now, *unit, 1);
            if (!after) return false;
            m_query.after = after;
            m_query.dateLabel = QStringLiteral("Past ") + name;
        } else {
            const auto current = m_math.interval(*unit, m_now);
            const auto previous =
                current ? m_math.subtracting(current->start, *unit, 1) : std::nullopt;
            if (!previous) return false;
            setRange(*previous, current->start, QStringLiteral("Last ") + name);
        }
        return claim(2);
    }

    // "3 days ago" is that whole day; "2 weeks ago" the calendar week 14 days back.
    bool unitsAgo()
    {
        const auto count = integer(t());
        const auto unit = dateUnit(token(m_i + 1));
        if (!count || !unit || token(m_i + 2) != QLatin1String("ago")) return false;
        const auto moment = m_math.subtracting(m_now, *unit, *count);
        const auto range = moment ? m_math.interval(*unit, *moment) : std::nullopt;
        if (!range) return false;
        m_query.after = range->start;
        m_query.before = range->end;
        m_query.dateLabel = counted(*count, *unit) + QStringLiteral(" ago");
        return claim(3);
    }

    // "older than 2 weeks", "older than a year", "older than month".
    bool olderThan()
    {
        if (t() != QLatin1String("older") || token(m_i + 1) != QLatin1String("than")) return false;
        qint64 count = 1;
        qsizetype unitAt = m_i + 2;
        if (const auto number = integer(token(m_i + 2))) {
            count = *number;
            unitAt = m_i + 3;
        } else if (isOneOf(token(m_i + 2), {"a", "an"})) {
            unitAt = m_i + 3;
        }
        const auto unit = dateUnit(token(unitAt));
        if (!unit) return false;
        const auto before = m_math.subtracting(m_now, *unit, count);
        if (!before) return false;
        m_query.before = before;
        m_query.dateLabel = QStringLiteral("Older than ") + counted(count, *unit);
        m_i = unitAt + 1;
        return true;
    }

    bool monthName()
    {
        const QString word = t();
        const auto found = months().constFind(word);
        if (found == months().constEnd()) return false;
        const int month = *found;
        const auto namedYear = year(token(m_i + 1), m_currentYear);
        // "may" is a month only where nothing else could be meant.
        if (word == QLatin1String("may") && !namedYear &&
            !isOneOf(prev(), {"in", "from", "since", "before", "during"}))
            return false;

        const QString name = m_calendar.locale.monthName(month, QLocale::LongFormat);
        int yearOfMonth = 0;
        QString label;
        qsizetype used = 1;
        if (namedYear) {
            yearOfMonth = *namedYear;
            label = name + u' ' + QString::number(*namedYear);
            used = 2;
        } else {
            // A month still ahead this year means last year's.
            const QDate today = m_math.local(m_now).date();
            yearOfMonth = today.year() - (today.month() < month ? 1 : 0);
            label = name;
        }
        const auto start = m_math.startOfDay(QDate(yearOfMonth, month, 1));
        const auto end = start ? m_math.adding(*start, DateUnit::month, 1) : std::nullopt;
        if (!end) return false;
        setRange(*start, end, label);
        return claim(used);
    }

    bool yearNumber()
    {
        const auto named = year(t(), m_currentYear);
        if (!named) return false;
        const auto start = m_math.startOfDay(QDate(*named, 1, 1));
        const auto end = start ? m_math.adding(*start, DateUnit::year, 1) : std::nullopt;
        if (!end) return false;
        setRange(*start, end, QString::number(*named));
        return claim(1);
    }

    bool folderWord()
    {
        const QString word = t();
        const auto found = folders().constFind(word);
        if (found == folders().constEnd()) return false;
        if (!isOneOf(prev(), {"in", "on", "from", "inside"}) &&
            !isOneOf(word, {"desktop", "downloads"}))
            return false;
        const std::optional<Location> location = Location::standard(*found);
        if (!location) return false;
        m_query.folder = location;
        return claim(1);
    }

    bool kindWord()
    {
        const auto found = kinds().constFind(t());
        if (found == kinds().constEnd()) return false;
        if (found->screenshots) m_query.screenshotsOnly = true;
        if (found->category) {
            m_query.category = found->category;
            m_query.extensions.clear();
        }
        if (!found->extensions.isEmpty()) {
            m_query.extensions = found->extensions;
            m_query.category.reset();
        }
        m_query.kindLabel = found->label;
        return claim(1);
    }

    bool bareExtension()
    {
        const QString word = t();
        const QString singular = word.endsWith(u's') ? word.chopped(1) : word;
        QString extension;
        if (bareExtensions().contains(word))
            extension = word;
        else if (bareExtensions().contains(singular))
            extension = singular;
        else
            return false;

        addExtension(extension);
        if (extension == QLatin1String("jpg")) addExtension(QStringLiteral("jpeg"));
        m_query.category.reset();
        QStringList shown;
        for (const QString& e : std::as_const(m_query.extensions))
            if (e != QLatin1String("jpeg")) shown << e.toUpper();
        m_query.kindLabel = shown.join(QStringLiteral(", "));
        return claim(1);
    }

    // Each extension once: a word said again adds nothing, so the list (and the
    // label made from it at every type word) stays as short as the vocabulary.
    void addExtension(const QString& extension)
    {
        if (!m_query.extensions.contains(extension)) m_query.extensions << extension;
    }

    bool cameraWord()
    {
        const QString word = t();
        if (!cameras().contains(word)) return false;
        m_query.camera = word == QLatin1String("fuji") ? QStringLiteral("fujifilm") : word;
        return claim(1);
    }

    // "google drive", "from drive".
    bool drive()
    {
        if (t() != QLatin1String("drive") || !isOneOf(prev(), {"google", "from", "in", "on"}))
            return false;
        m_query.source = DownloadSources::named(QStringLiteral("Google Drive"));
        if (!m_unclaimed.isEmpty() && m_unclaimed.last() == QLatin1String("google"))
            m_unclaimed.removeLast();
        return claim(1);
    }

    bool sourceKeyword()
    {
        auto source = DownloadSources::forKeyword(t());
        if (!source) return false;
        m_query.source = std::move(source);
        return claim(1);
    }

    // "from bbc.co.uk": a site by its host name. "from photo.png" is a file name.
    bool webDomain()
    {
        const QString word = t();
        if (prev() != QLatin1String("from") || !word.contains(u'.')) return false;
        const QStringList parts = word.split(u'.', Qt::SkipEmptyParts);
        if (parts.size() < 2) return false;
        const QString& last = parts.last();
        if (last.size() < 2 ||
            !std::all_of(last.begin(), last.end(), [](QChar c) { return c.isLetter(); }) ||
            bareExtensions().contains(last))
            return false;
        const QString domain = DownloadSources::registrableDomain(word);
        m_query.source =
            DownloadSource{domain, QStringLiteral("globe"), {domain}, {}, std::nullopt};
        return claim(1);
    }

    bool stopword()
    {
        if (!stopwords().contains(t())) return false;
        return claim(1);
    }

    const QDateTime m_now;
    const SearchCalendar& m_calendar;
    const CalendarMath m_math;
    const int m_currentYear;
    ParsedQuery m_query;
    QStringList m_tokens;
    QStringList m_unclaimed;
    qsizetype m_i = 0;
};

} // namespace

SearchCalendar SearchCalendar::current()
{
    const QLocale locale = QLocale::system();
    return SearchCalendar{QTimeZone::systemTimeZone(), locale.firstDayOfWeek(), locale};
}

ParsedQuery parse(QStringView text, const QDateTime& now, const SearchCalendar& calendar)
{
    return Walk(text, now, calendar).run();
}

} // namespace ovra::NaturalSearch
