#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// ovra-mdbench parse 'TEXT': the metadata query string a typed search becomes,
// then its "Understood as" chips, one a line.
int runParseCommand(const Arguments& args);

} // namespace ovra::bench
