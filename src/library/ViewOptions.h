#pragma once

#include <QDateTime>
#include <QString>
#include <QStringView>

#include <array>
#include <optional>

namespace ovra {

// How file lists are ordered, shown and filtered. Raw values are the case names
// (they are stored in the user's settings); an unknown raw value yields nothing.

enum class SortKey { name, date, size, kind };
inline constexpr std::array<SortKey, 4> kAllSortKeys{SortKey::name, SortKey::date, SortKey::size,
                                                     SortKey::kind};
QString rawValue(SortKey key);
std::optional<SortKey> sortKeyFromRaw(QStringView raw);
// Names and kinds read A to Z; dates and sizes newest and largest first.
bool defaultAscending(SortKey key);

enum class ViewMode { grid, list };
inline constexpr std::array<ViewMode, 2> kAllViewModes{ViewMode::grid, ViewMode::list};
QString rawValue(ViewMode mode);
std::optional<ViewMode> viewModeFromRaw(QStringView raw);

enum class CardSize { small, medium, large };
inline constexpr std::array<CardSize, 3> kAllCardSizes{CardSize::small, CardSize::medium,
                                                       CardSize::large};
QString rawValue(CardSize size);
std::optional<CardSize> cardSizeFromRaw(QStringView raw);

enum class DateFilter { any, today, week, month, year };
inline constexpr std::array<DateFilter, 5> kAllDateFilters{
    DateFilter::any, DateFilter::today, DateFilter::week, DateFilter::month, DateFilter::year};
QString rawValue(DateFilter filter);
std::optional<DateFilter> dateFilterFromRaw(QStringView raw);
// The earliest date (seconds since 1970) a file may have to pass the filter:
// none for `any`, the start of today, or 7, 30 or 365 days of seconds back.
std::optional<double> cutoff(DateFilter filter);
std::optional<double> cutoff(DateFilter filter, const QDateTime& now);

enum class SizeFilter { any, mb1, mb10, mb100, gb1 };
inline constexpr std::array<SizeFilter, 5> kAllSizeFilters{
    SizeFilter::any, SizeFilter::mb1, SizeFilter::mb10, SizeFilter::mb100, SizeFilter::gb1};
QString rawValue(SizeFilter filter);
std::optional<SizeFilter> sizeFilterFromRaw(QStringView raw);

} // namespace ovra
