#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/run_loop.h"

namespace quorvelle::sim {

// A run loop on virtual time. Nothing runs until the test drains the main
// queue or advances the clock; timers fire in time order, each firing followed
// by a drain of the queue, as on a real main thread.
class SimRunLoop : public RunLoop {
 public:
  void post(std::function<void()> task) override;
  std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode mode,
                                       std::function<void(Timer&)> block) override;
  double now() const override { return now_; }

  // Runs queued tasks, including those they queue, until the queue is empty.
  void drain();
  // Moves the clock forward, firing due timers in order and draining after each.
  void advance(double seconds);
  // While true, default-mode timers do not fire (a menu is being tracked).
  void setTrackingMenu(bool tracking) { trackingMenu_ = tracking; }

  // Timers still scheduled (valid).
  size_t liveTimers() const;

 private:
  class SimTimer;
  std::vector<std::function<void()>> tasks_;
  std::vector<std::shared_ptr<SimTimer>> timers_;
  double now_ = 0;
  bool trackingMenu_ = false;
};

}  // namespace quorvelle::sim
