#pragma once

#include <QString>
#include <QStringView>

namespace ovra::md {

// A typed value made safe to stand between double quotes in a metadata query
// string: every backslash doubled, then a backslash before each double quote,
// then before each asterisk, so a typed "*" is a literal star and never a
// wildcard. Nothing else is escaped.
QString escapeQueryValue(QStringView value);

} // namespace ovra::md
