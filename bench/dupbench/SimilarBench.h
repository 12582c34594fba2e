#pragma once

#include <QStringList>

namespace ovra::bench {

// `ovra-dupbench similar`: generated 12-megapixel photos of look-alike pairs,
// timed through the photo scanner, with its false matches and misses.
int runSimilar(const QStringList& args);

} // namespace ovra::bench
