#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// Files created, renamed and deleted in random folders of a generated home while
// collection queries run: how long until a query sees each change, and the CPU
// the process uses while nothing happens.
int runLiveBench(const Arguments& args);

} // namespace ovra::bench
