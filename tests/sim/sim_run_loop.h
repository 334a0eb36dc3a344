#pragma once

#include <algorithm>
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
  void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }
  std::shared_ptr<Timer> scheduleTimer(double interval, bool repeats, RunLoopMode mode,
                                       std::function<void(Timer&)> block) override {
    timers_.push_back(std::make_shared<SimTimer>(interval, repeats, mode, std::move(block), now_ + interval));
    return timers_.back();
  }
  double now() const override { return now_; }

  // Runs queued tasks, including those they queue, until the queue is empty.
  void drain() {
    while (!tasks_.empty()) {
      std::vector<std::function<void()>> batch;
      batch.swap(tasks_);
      for (auto& task : batch) task();
    }
  }
  // Moves the clock forward, firing due timers in order and draining after each.
  void advance(double seconds) {
    const double end = now_ + seconds;
    drain();
    for (;;) {
      std::erase_if(timers_, [](const auto& t) { return !t->valid; });
      std::shared_ptr<SimTimer> next;
      for (const auto& timer : timers_) {
        if (trackingMenu_ && timer->mode == RunLoopMode::Default) continue;
        if (timer->fireAt <= end + 1e-9 && (!next || timer->fireAt < next->fireAt)) next = timer;
      }
      if (!next) break;
      now_ = std::max(now_, next->fireAt);
      if (next->repeats) next->fireAt += next->interval;
      else next->valid = false;
      next->block(*next);
      drain();
    }
    now_ = end;
  }
  // While true, default-mode timers do not fire (a menu is being tracked).
  void setTrackingMenu(bool tracking) { trackingMenu_ = tracking; }
  // Timers still scheduled (valid).
  size_t liveTimers() const { return std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->valid; }); }

 private:
  struct SimTimer : Timer {
    SimTimer(double interval, bool repeats, RunLoopMode mode, std::function<void(Timer&)> block, double fireAt)
        : interval(interval), repeats(repeats), mode(mode), block(std::move(block)), fireAt(fireAt) {}
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }
    double interval;
    bool repeats;
    RunLoopMode mode;
    std::function<void(Timer&)> block;
    double fireAt;
    bool valid = true;
  };
  std::vector<std::function<void()>> tasks_;
  std::vector<std::shared_ptr<SimTimer>> timers_;
  double now_ = 0;
  bool trackingMenu_ = false;
};

}  // namespace quorvelle::sim
