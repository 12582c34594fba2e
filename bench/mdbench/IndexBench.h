#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// ovra-mdbench bench [--files N] [--dir D] [--threads T]
int runIndexBench(const Arguments& args);
// ovra-mdbench query FOLDER 'QUERY STRING' [--sort ATTRIBUTE] [--limit N]
int runQueryCommand(const Arguments& args);

} // namespace ovra::bench
