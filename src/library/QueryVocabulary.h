#pragma once

#include "FileCategory.h"
#include "Location.h"

#include <QHash>
#include <QSet>
#include <QString>
#include <QStringList>
#include <QStringView>
#include <QtGlobal>

#include <optional>

// The words the plain-language search understands and the small readers the
// parser applies to its tokens. Everything here is English, compared exactly
// after the tokenizer has lower-cased the text, and pure: tables are built once
// on first use and never change.
namespace ovra::NaturalSearch {

// What one kind word asks for.
struct Kind {
    std::optional<FileCategory> category;
    QStringList extensions;
    bool screenshots = false;
    QString label; // chip text
};

enum class DateUnit { day, week, month, year };
// "day", "week", "month" or "year", as labels name the unit.
QString unitName(DateUnit unit);

enum class Bound { atLeast, atMost };

struct SizeReading {
    qint64 bytes = 0;
    int tokenCount = 0; // 1 ("5mb") or 2 ("5 mb")
};

// Filler words that never become search terms.
const QSet<QString>& stopwords();
const QHash<QString, Kind>& kinds();
// Extensions that a bare word may name ("png", "mp4", …).
const QSet<QString>& bareExtensions();
// Camera makers and models.
const QSet<QString>& cameras();
// Folder word to the standard folder it names, whatever that folder is called.
const QHash<QString, StandardFolder>& folders();
// Month word to month number, 1 to 12.
const QHash<QString, int>& months();

// Lower-cases the text, makes "<" and ">" tokens of their own, splits at white
// space and ",;!?()", then strips trailing ".", ":" and "'" and one possessive
// "'s" from each piece. Other punctuation stays inside its token, so "photo.png"
// and "bbc.co.uk" stay whole.
QStringList tokenize(QStringView text);

std::optional<Bound> comparator(QStringView word);
// Bytes per unit word; all units are decimal ("kb" is 1,000).
std::optional<double> multiplier(QStringView word);
// A size at a token index: "5mb" (one token) or "5 mb" (two). None when there is
// no positive number with a known unit there, or when the byte count does not fit
// a signed 64-bit integer.
std::optional<SizeReading> size(qsizetype index, const QStringList& tokens);
// A year from 1990 to the year after `currentYear`, written with four characters.
std::optional<int> year(QStringView word, int currentYear);
std::optional<DateUnit> dateUnit(QStringView word);
// A base-10 integer with an optional sign, ASCII digits only; none when it does
// not fit a signed 64-bit integer.
std::optional<qint64> integer(QStringView word);

} // namespace ovra::NaturalSearch
