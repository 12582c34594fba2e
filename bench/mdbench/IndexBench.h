#pragma once

#include <QStringList>

namespace ovra::bench {

// ovra-mdbench bench [--files N] [--dir D] [--threads T]
int runIndexBench(const QStringList& args);
// ovra-mdbench query FOLDER 'QUERY STRING' [--sort ATTRIBUTE] [--limit N]
int runQueryCommand(const QStringList& args);

} // namespace ovra::bench
