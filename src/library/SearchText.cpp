#include "SearchText.h"

namespace ovra {

QString trimmedSearchText(QStringView text)
{
    // QChar::isSpace covers the Unicode separators (spaces, line and paragraph
    // separators) and the controls tab, line feed, vertical tab, form feed,
    // carriage return and next line; every one of them lies in the basic plane.
    return text.trimmed().toString();
}

QString cappedSearchText(QString text)
{
    if (text.size() <= kLongestSearchText) return text;
    qsizetype length = kLongestSearchText;
    if (text.at(length - 1).isHighSurrogate()) --length;
    text.truncate(length);
    return text;
}

} // namespace ovra
