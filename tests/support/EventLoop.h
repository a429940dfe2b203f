#pragma once

#include <functional>

namespace testsupport {

// Runs the Qt event loop of this thread until done() holds or timeoutMs passed; returns done().
// done() is checked at least every few milliseconds, so it may look at state that another
// thread (a scripted server) changes without posting events.
bool ProcessEventsUntil(const std::function<bool()>& done, int timeoutMs = 5000);

// Runs the Qt event loop of this thread for ms milliseconds.
void ProcessEventsFor(int ms);

} // namespace testsupport
