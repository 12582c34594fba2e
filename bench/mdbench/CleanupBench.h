#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// The cleanup suggestions and the download-source grouping over a generated
// home: every kind and the grouping timed on the warm index, one JSON line each.
int runCleanupBench(const Arguments& args);

} // namespace ovra::bench
