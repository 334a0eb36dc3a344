#pragma once

#include <QObject>
#include <memory>
#include <set>

#include "platform/run_loop.h"

namespace quorvelle {

// The main run loop on Qt's event loop. Run-loop modes do not exist there:
// every timer fires whatever the loop is doing.
class QtRunLoop : public RunLoop {
 public:
  QtRunLoop();
  ~QtRunLoop() override;

  void post(std::function<void()> task) override;
  std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode mode,
                                       std::function<void(Timer&)> block) override;
  double now() const override;

 private:
  class QtTimer;
  friend class QtTimer;
  QObject context_;
  // The loop keeps its timers alive until they are invalidated or have fired.
  std::set<std::shared_ptr<QtTimer>> timers_;
};

}  // namespace quorvelle
