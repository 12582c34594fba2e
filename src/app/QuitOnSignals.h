#pragma once

#include <memory>

class QSocketNotifier;

namespace ovra {

// SIGTERM (a desktop's logout) and SIGINT end the app the way closing its window
// does: the event loop quits and the normal teardown saves what is pending. The
// handler only writes the signal's number to a pipe, the one thing a handler
// may safely do; the main thread reads it and quits. While it lives it owns both
// signals' handlers; the default ones come back when it goes.
class QuitOnSignals {
public:
    QuitOnSignals();
    ~QuitOnSignals();
    QuitOnSignals(const QuitOnSignals&) = delete;
    QuitOnSignals& operator=(const QuitOnSignals&) = delete;

private:
    std::unique_ptr<QSocketNotifier> m_notifier;
};

} // namespace ovra
