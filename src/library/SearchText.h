#pragma once

#include <QString>
#include <QStringView>

namespace ovra {

// Typed search text without the white space at its two ends: every Unicode
// white-space character, line breaks included (a pasted "invoice\n" or a
// no-break space is the same search as "invoice"). The one trimming rule for
// search text wherever it is read.
QString trimmedSearchText(QStringView text);

// Longer than anyone types: a pasted page is cut here where it enters the app,
// so the plain-language parse of it stays quick.
inline constexpr qsizetype kLongestSearchText = 1000;
// The text cut to kLongestSearchText, never inside a character that takes two
// UTF-16 units.
QString cappedSearchText(QString text);

} // namespace ovra
