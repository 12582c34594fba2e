#include "Wait.h"

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace ovra::test {

bool eventually(const std::function<bool()>& holds, std::chrono::milliseconds patience)
{
    const QDeadlineTimer deadline(patience);
    while (!holds()) {
        if (deadline.hasExpired()) return false;
        if (QCoreApplication::instance()) {
            QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
            QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
        }
        QThread::msleep(5);
    }
    return true;
}

} // namespace ovra::test
