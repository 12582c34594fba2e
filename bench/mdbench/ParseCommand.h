#pragma once

#include <QStringList>

namespace ovra::bench {

// ovra-mdbench parse 'TEXT': the metadata query string a typed search becomes,
// then its "Understood as" chips, one a line.
int runParseCommand(const QStringList& args);

} // namespace ovra::bench
