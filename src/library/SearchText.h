#pragma once

#include <QString>
#include <QStringView>

namespace ovra {

// Typed search text without the white space at its two ends: every Unicode
// white-space character, line breaks included (a pasted "invoice\n" or a
// no-break space is the same search as "invoice"). The one trimming rule for
// search text wherever it is read.
QString trimmedSearchText(QStringView text);

} // namespace ovra
