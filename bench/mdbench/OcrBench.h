#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// Text recognition of generated screenshots and scanned PDF pages beside the
// tesseract command, and the text index loaded and searched at size.
int runOcrBench(const Arguments& args);

} // namespace ovra::bench
