#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// `ovra-dupbench similar`: generated 12-megapixel photos of look-alike pairs,
// timed through the photo scanner, with its false matches and misses.
int runSimilar(const Arguments& args);

} // namespace ovra::bench
