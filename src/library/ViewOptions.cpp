#include "ViewOptions.h"

namespace ovra {
namespace {

template <typename Enum, std::size_t N>
std::optional<Enum> fromRaw(const std::array<Enum, N>& all, QStringView raw)
{
    for (Enum value : all)
        if (raw == rawValue(value)) return value;
    return std::nullopt;
}

// Fixed spans of seconds, not calendar arithmetic: "this week" is the last
// 7 × 24 hours whatever the clocks did meanwhile.
constexpr double kWeekSeconds = 604800;
constexpr double kMonthSeconds = 2592000;
constexpr double kYearSeconds = 31536000;

double seconds(const QDateTime& t)
{
    return t.toMSecsSinceEpoch() / 1000.0;
}

} // namespace

QString rawValue(SortKey key)
{
    switch (key) {
    case SortKey::name: return QStringLiteral("name");
    case SortKey::date: return QStringLiteral("date");
    case SortKey::size: return QStringLiteral("size");
    case SortKey::kind: return QStringLiteral("kind");
    }
    return {};
}

std::optional<SortKey> sortKeyFromRaw(QStringView raw)
{
    return fromRaw(kAllSortKeys, raw);
}

bool defaultAscending(SortKey key)
{
    return key == SortKey::name || key == SortKey::kind;
}

QString rawValue(ViewMode mode)
{
    switch (mode) {
    case ViewMode::grid: return QStringLiteral("grid");
    case ViewMode::list: return QStringLiteral("list");
    }
    return {};
}

std::optional<ViewMode> viewModeFromRaw(QStringView raw)
{
    return fromRaw(kAllViewModes, raw);
}

QString rawValue(CardSize size)
{
    switch (size) {
    case CardSize::small: return QStringLiteral("small");
    case CardSize::medium: return QStringLiteral("medium");
    case CardSize::large: return QStringLiteral("large");
    }
    return {};
}

std::optional<CardSize> cardSizeFromRaw(QStringView raw)
{
    return fromRaw(kAllCardSizes, raw);
}

QString rawValue(DateFilter filter)
{
    switch (filter) {
    case DateFilter::any: return QStringLiteral("any");
    case DateFilter::today: return QStringLiteral("today");
    case DateFilter::week: return QStringLiteral("week");
    case DateFilter::month: return QStringLiteral("month");
    case DateFilter::year: return QStringLiteral("year");
    }
    return {};
}

std::optional<DateFilter> dateFilterFromRaw(QStringView raw)
{
    return fromRaw(kAllDateFilters, raw);
}

std::optional<double> cutoff(DateFilter filter)
{
    return cutoff(filter, QDateTime::currentDateTime());
}

std::optional<double> cutoff(DateFilter filter, const QDateTime& now)
{
    switch (filter) {
    case DateFilter::any: return std::nullopt;
    case DateFilter::today: return seconds(now.toLocalTime().date().startOfDay());
    case DateFilter::week: return seconds(now) - kWeekSeconds;
    case DateFilter::month: return seconds(now) - kMonthSeconds;
    case DateFilter::year: return seconds(now) - kYearSeconds;
    }
    return std::nullopt;
}

QString rawValue(SizeFilter filter)
{
    switch (filter) {
    case SizeFilter::any: return QStringLiteral("any");
    case SizeFilter::mb1: return QStringLiteral("mb1");
    case SizeFilter::mb10: return QStringLiteral("mb10");
    case SizeFilter::mb100: return QStringLiteral("mb100");
    case SizeFilter::gb1: return QStringLiteral("gb1");
    }
    return {};
}

std::optional<SizeFilter> sizeFilterFromRaw(QStringView raw)
{
    return fromRaw(kAllSizeFilters, raw);
}

} // namespace ovra
