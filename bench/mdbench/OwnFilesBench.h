#pragma once

#include "common/Arguments.h"

namespace ovra::bench {

// The files the app reads for itself at the sizes anyone may leave there: a
// settings file of many keys read and saved, an icon theme naming one folder
// over and over, and stored thumbnails judged: at the largest size, and small
// ones whose chunks are megabytes to a PNG reader. One JSON line each.
int runOwnFilesBench(const Arguments& args);

} // namespace ovra::bench
