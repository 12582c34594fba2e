#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// Generates a corpus of mixed documents (text, Markdown, HTML, Word, OpenDocument,
// PDF), then times a full build of the content index on all cores, an incremental
// pass with nothing changed and word queries, and the same with recollindex and
// recollq over the same folder, comparing the files each finds per word.
int runContentBench(const Arguments& args);

} // namespace ovra::bench
