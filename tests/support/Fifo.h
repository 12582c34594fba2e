#pragma once

#include <QString>

#include <functional>

namespace ovra::test {

// Makes a FIFO at `path` (its folder must exist); false when it could not.
bool makeFifo(const QString& path);
// Binds a local socket at `path` (its folder must exist): its descriptor, for
// the caller to close, or -1 when it could not.
int makeSocket(const QString& path);

// Runs `read` on a thread of its own and tells whether it ended. A reader that
// waits on the FIFO at `fifo` (no writer ever opens it) does not end: the wait
// then fails, and the reader is let go (the FIFO's other end opened and closed
// at once), so the test program still ends.
bool endsBeside(const QString& fifo, const std::function<void()>& read);

} // namespace ovra::test
