#include "FilterMenus.h"

#include "cleanup_model/DownloadSource.h"
#include "library/SidebarItem.h"

namespace ovra::FilterMenus {

namespace {

// "Name  (12)": the entries of the From and Kind menus write their counts in
// plain digits, not with the locale's grouping.
QString withCount(const QString& name, int count)
{
    return name + QStringLiteral("  (") + QString::number(count) + QLatin1Char(')');
}

} // namespace

QString text(DateFilter filter)
{
    switch (filter) {
    case DateFilter::any: return QStringLiteral("Any");
    case DateFilter::today: return QStringLiteral("Today");
    case DateFilter::week: return QStringLiteral("Past Week");
    case DateFilter::month: return QStringLiteral("Past Month");
    case DateFilter::year: return QStringLiteral("Past Year");
    }
    return {};
}

QString text(SizeFilter filter)
{
    switch (filter) {
    case SizeFilter::any: return QStringLiteral("Any");
    case SizeFilter::mb1: return QStringLiteral("Over 1 MB");
    case SizeFilter::mb10: return QStringLiteral("Over 10 MB");
    case SizeFilter::mb100: return QStringLiteral("Over 100 MB");
    case SizeFilter::gb1: return QStringLiteral("Over 1 GB");
    }
    return {};
}

QString text(SortKey key)
{
    switch (key) {
    case SortKey::name: return QStringLiteral("Name");
    case SortKey::date: return QStringLiteral("Date Modified");
    case SortKey::size: return QStringLiteral("Size");
    case SortKey::kind: return QStringLiteral("Kind");
    }
    return {};
}

QString text(CardSize size)
{
    QString raw = rawValue(size);
    if (!raw.isEmpty()) raw[0] = raw[0].toUpper();
    return raw;
}

QString title(FileCategory category)
{
    return SidebarItem::category(category).title();
}

bool showsFrom(const QList<SourceCount>& sources, const std::optional<QString>& sourceFilter)
{
    return !sources.isEmpty() || sourceFilter.has_value();
}

QString fromValue(const std::optional<QString>& sourceFilter)
{
    return sourceFilter ? *sourceFilter : QStringLiteral("Anywhere");
}

QString kindValue(const std::optional<FileCategory>& kindFilter)
{
    return kindFilter ? title(*kindFilter) : QStringLiteral("All");
}

QList<SourceEntry> fromEntries(const QList<SourceCount>& sources)
{
    QList<SourceEntry> entries;
    for (const SourceCount& source : sources) {
        if (entries.size() == kSourceLimit) break;
        const std::optional<DownloadSource> known = DownloadSources::named(source.name);
        entries.push_back({withCount(source.name, source.count),
                           known ? known->symbol : QStringLiteral("globe"), source.name});
    }
    return entries;
}

QList<KindEntry> kindEntries(const QMap<FileCategory, int>& kinds)
{
    QList<KindEntry> entries;
    for (FileCategory category : kAllFileCategories) {
        const int count = kinds.value(category, 0);
        if (count > 0) entries.push_back({withCount(title(category), count), category});
    }
    return entries;
}

QList<SortEntry> sortEntries(SortKey current, bool ascending)
{
    QList<SortEntry> entries;
    for (SortKey key : kAllSortKeys) {
        QString symbol;
        if (key == current)
            symbol = ascending ? QStringLiteral("arrow.up") : QStringLiteral("arrow.down");
        entries.push_back({text(key), symbol, key});
    }
    return entries;
}

} // namespace ovra::FilterMenus
