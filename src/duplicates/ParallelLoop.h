#pragma once

#include <QtGlobal>

#include <functional>

class QThreadPool;

namespace ovra {

// Runs `body(i)` for every i in [0, count) on up to `threads` threads: the
// calling thread and threads borrowed from `pool`. Returns when every index is
// done. A borrowed thread that starts after the work ran out returns at once,
// so a busy pool only slows the loop, never stalls it.
void parallelFor(QThreadPool* pool, int threads, qsizetype count,
                 const std::function<void(qsizetype)>& body, bool lowPriority);

// Gives the calling thread a low scheduling priority (once per thread).
void lowerThreadPriority();

} // namespace ovra
