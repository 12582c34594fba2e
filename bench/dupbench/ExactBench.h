#pragma once

#include <QStringList>

namespace ovra::bench {

// `ovra-dupbench exact`: a generated tree timed against jdupes and rmlint, or
// (with --dir) an existing folder scanned and, with --print, its groups
// printed as jdupes prints them.
int runExact(const QStringList& args);

} // namespace ovra::bench
