#pragma once
// Waiting on a condition with the event loop running, for tests whose
// outcome arrives through queued signals.

#include <QCoreApplication>
#include <QDeadlineTimer>
#include <QThread>

namespace tessal {
namespace test {

// Waits until pred holds; false after ms.
template <typename Pred>
bool waitFor(Pred pred, int ms = 10000)
{
    QDeadlineTimer deadline(ms);
    while (!pred()) {
        if (deadline.hasExpired())
            return false;
        QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
        QThread::msleep(2);
    }
    return true;
}

} // namespace test
} // namespace tessal
