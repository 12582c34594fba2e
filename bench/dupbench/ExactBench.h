#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// `ovra-dupbench exact`: a generated tree timed against jdupes and rmlint, or
// (with --dir) an existing folder scanned and, with --print, its groups
// printed as jdupes prints them.
int runExact(const Arguments& args);

// `ovra-dupbench cancel [--size-gb N]`: two equal sparse files of N GB
// (200 by default) hashed whole, stopped at several moments; how long each
// stop took.
int runCancel(const Arguments& args);

} // namespace ovra::bench
