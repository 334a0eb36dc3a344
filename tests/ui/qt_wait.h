#pragma once

#include <QCoreApplication>
#include <QElapsedTimer>
#include <functional>

namespace quorvelle::testing_support {

// Runs the event loop until the condition holds or a generous limit passes;
// answers the condition.
inline bool waitFor(const std::function<bool()>& condition, int limitMs = 10000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < limitMs) {
    QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  }
  return condition();
}

}  // namespace quorvelle::testing_support
