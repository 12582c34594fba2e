#pragma once

#include "ParsedQuery.h"

#include <QDateTime>
#include <QLocale>
#include <QStringView>
#include <QTimeZone>

// Turns the text typed into the search field ("big pdfs from last week",
// "screenshots since march", "photos shot on iphone in pictures") into a
// ParsedQuery. The words it knows are in QueryVocabulary.h.
namespace ovra::NaturalSearch {

// What date words are read against: the time zone that days begin in, the day
// weeks begin on, and the locale whose month names the date chips use.
struct SearchCalendar {
    QTimeZone timeZone;
    Qt::DayOfWeek firstDayOfWeek = Qt::Monday;
    QLocale locale;

    // The user's: the system time zone and the system locale's week and names.
    static SearchCalendar current();
};

// Thread-safe. `now` and `calendar` drive every date the text names, the years
// a four-digit number may name included, so a test can fix them. A folder word
// ("in downloads") reads the user's folders (user-dirs.dirs): call it on a
// pool thread.
ParsedQuery parse(QStringView text, const QDateTime& now, const SearchCalendar& calendar);

} // namespace ovra::NaturalSearch
