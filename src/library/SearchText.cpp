#include "SearchText.h"

namespace ovra {

QString trimmedSearchText(QStringView text)
{
    // QChar::isSpace is exactly Unicode's White_Space property.
    return text.trimmed().toString();
}

} // namespace ovra
