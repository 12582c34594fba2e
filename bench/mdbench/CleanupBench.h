#pragma once

#include <QStringList>

namespace ovra::bench {

// The cleanup suggestions and the download-source grouping over a generated
// home: every kind and the grouping timed on the warm index, one JSON line each.
int runCleanupBench(const QStringList& args);

} // namespace ovra::bench
