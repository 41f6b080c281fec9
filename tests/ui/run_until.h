#pragma once
// Runs the Qt event loop until a condition holds: the exchange thread's
// hand-overs arrive as queued calls, so a test waits by processing events.

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace flovir::testing {

// True when done() held before deadline_ms passed.
inline bool RunEventsUntil(const std::function<bool()>& done, int deadline_ms = 120000) {
  QElapsedTimer timer;
  timer.start();
  while (!done()) {
    if (timer.elapsed() > deadline_ms) return false;
    QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  }
  return true;
}

}  // namespace flovir::testing
