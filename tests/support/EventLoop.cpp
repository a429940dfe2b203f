#include "support/EventLoop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <QEvent>
#include <QEventLoop>
#include <QTimer>

namespace testsupport {

namespace {

void ProcessOnce() {
    QCoreApplication::processEvents(QEventLoop::AllEvents | QEventLoop::WaitForMoreEvents);
    // Outside exec() deleteLater() would otherwise wait for a loop that never runs.
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
}

} // namespace

bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs) {
    QElapsedTimer clock;
    clock.start();
    // Wakes WaitForMoreEvents so done() is looked at again even when no event arrives.
    QTimer tick;
    tick.setInterval(5);
    tick.start();
    while (!done()) {
        if (clock.elapsed() >= timeoutMs)
            return done();
        ProcessOnce();
    }
    return true;
}

void ProcessEventsFor(int ms) {
    ProcessEventsUntil([] { return false; }, ms);
}

} // namespace testsupport
