#pragma once

#include "BrowserModel.h"
#include "library/FileCategory.h"
#include "library/ViewOptions.h"

#include <QList>
#include <QMap>
#include <QString>

#include <optional>

namespace ovra::FilterMenus {

// The words of the filter bar: its pill values and the entries of its menus,
// apart from the widgets that show them.

QString text(DateFilter filter); // "Any", "Today", "Past Week", …
QString text(SizeFilter filter); // "Any", "Over 1 MB", …
QString text(SortKey key);       // "Name", "Date Modified", "Size", "Kind"
QString text(CardSize size);     // "Small", "Medium", "Large"
QString title(FileCategory category);

// The From menu lists no more sources than this.
constexpr int kSourceLimit = 30;

// A source filter that is set keeps its pill, even when no listed file has a
// source any more: the pill is the only way to clear it.
bool showsFrom(const QList<SourceCount>& sources, const std::optional<QString>& sourceFilter);
QString fromValue(const std::optional<QString>& sourceFilter);    // the name, or "Anywhere"
QString kindValue(const std::optional<FileCategory>& kindFilter); // the title, or "All"

struct SourceEntry {
    QString text;   // the name, two blanks and the count in parentheses
    QString symbol; // the known source's symbol, else "globe"
    QString name;   // what choosing it filters by
};
// The first kSourceLimit sources, in the given order.
QList<SourceEntry> fromEntries(const QList<SourceCount>& sources);

struct KindEntry {
    QString text;
    FileCategory category;
};
// The categories with a count above zero, in the categories' order.
QList<KindEntry> kindEntries(const QMap<FileCategory, int>& kinds);

struct SortEntry {
    QString text;
    QString symbol; // the direction's arrow on the current key; empty on the others
    SortKey key;
};
QList<SortEntry> sortEntries(SortKey current, bool ascending);

} // namespace ovra::FilterMenus
