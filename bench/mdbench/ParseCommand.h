#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// ovra-mdbench parse 'TEXT': the metadata query string a typed search becomes,
// then its "Understood as" chips, one a line.
int runParseCommand(const Arguments& args);

// ovra-mdbench parsebench [--words N]: the typed search of one word N times
// over parsed, for each kind of word the parse claims, one JSON line each.
int runParseBench(const Arguments& args);

} // namespace ovra::bench
