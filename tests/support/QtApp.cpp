#include "QtApp.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QGuiApplication>

namespace ovra::test {

void ensureApp()
{
    if (QCoreApplication::instance()) return;
    static int argc = 1;
    static char name[] = "ovra-tests";
    static char* argv[] = {name, nullptr};
    // Never destroyed: Qt objects made during the tests may outlive any scope.
    new QGuiApplication(argc, argv);
}

bool waitFor(const QFuture<void>& future, int timeoutMs)
{
    ensureApp();
    QDeadlineTimer deadline(timeoutMs);
    while (!future.isFinished() && !deadline.hasExpired())
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
    // Continuations attached with a context run from the event loop: give them a turn.
    QCoreApplication::processEvents();
    return future.isFinished();
}

} // namespace ovra::test
