#pragma once

#include <QString>
#include <QStringView>

namespace ovra {

// The search text as every part of the app reads it: trimmed of all Unicode
// white space at both ends, line breaks included, so a pasted line break alone
// is no search.
QString trimmedSearchText(QStringView text);

} // namespace ovra
