#pragma once

#include "Wait.h"

#include <QFuture>

namespace ovra::test {

// One application object for the whole test program, made on first use: event
// loops, queued signals and future continuations need one.
void ensureApp();

// The offscreen platform knows no icon themes: points it at the system's (call
// before any test redirects the XDG folders) and at the theme the app depends on.
void useSystemIconThemes();

// Runs the event loop until the future has finished (or the patience ran out).
bool waitFor(const QFuture<void>& future, std::chrono::milliseconds patience = kPatience);

template <typename T>
bool waitFor(const QFuture<T>& future, std::chrono::milliseconds patience = kPatience)
{
    return waitFor(QFuture<void>(future), patience);
}

} // namespace ovra::test
