#pragma once

#include <QString>

namespace ovra::bench {

// Fills `root` with `files` files in about `files / 20` folders: a mix of
// documents, pictures (some real PNGs, some screenshots), music, videos, code,
// archives and a few large sparse files, with modification times spread over two
// years and some files read after they were written. Deterministic for a given count.
void generateTree(const QString& root, long files, int threads = 8);

} // namespace ovra::bench
