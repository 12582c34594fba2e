#pragma once

class QThreadPool;

namespace ovra {

// The cleanup and source stores' own workers: their searches, sizing and
// grouping never queue behind (or hold up) the rest of the app's background
// work.
QThreadPool& cleanupPool();

} // namespace ovra
