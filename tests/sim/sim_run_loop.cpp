#include "sim/sim_run_loop.h"

#include <algorithm>
#include <limits>

namespace quorvelle::sim {

class SimRunLoop::SimTimer : public Timer {
 public:
  SimTimer(double interval, bool repeats, RunLoopMode mode, std::function<void(Timer&)> block,
           double fireAt)
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

void SimRunLoop::post(std::function<void()> task) { tasks_.push_back(std::move(task)); }

std::shared_ptr<Timer> SimRunLoop::scheduleTimer(double intervalSeconds, bool repeats,
                                                 RunLoopMode mode,
                                                 std::function<void(Timer&)> block) {
  auto timer = std::make_shared<SimTimer>(intervalSeconds, repeats, mode, std::move(block),
                                          now_ + intervalSeconds);
  timers_.push_back(timer);
  return timer;
}

void SimRunLoop::drain() {
  while (!tasks_.empty()) {
    std::vector<std::function<void()>> batch;
    batch.swap(tasks_);
    for (size_t i = 0; i < batch.size(); ++i) {
      batch[i]();
    }
  }
}

size_t SimRunLoop::liveTimers() const {
  return std::count_if(timers_.begin(), timers_.end(), [](const auto& t) { return t->valid; });
}

void SimRunLoop::advance(double seconds) {
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
    if (next->repeats) {
      next->fireAt += next->interval;
    } else {
      next->valid = false;
    }
    next->block(*next);
    drain();
  }
  now_ = end;
}

}  // namespace quorvelle::sim
