#pragma once

#include <functional>
#include <memory>

namespace quorvelle {

// Run-loop modes a timer can be scheduled in. Default-mode timers pause while
// the loop runs in another mode (a tracked menu, for example); common-mode
// timers keep firing.
enum class RunLoopMode { Default, Common };

class Timer {
 public:
  virtual ~Timer() = default;
  // Stops the timer for good; a block already running finishes.
  virtual void invalidate() = 0;
  virtual bool isValid() const = 0;
};

// The main thread's run loop: its main queue and its timers.
class RunLoop {
 public:
  virtual ~RunLoop() = default;

  // Runs the task on a later turn of the main queue, never inside this call.
  virtual void post(std::function<void()> task) = 0;

  // Schedules a timer on the main run loop. The run loop keeps a repeating
  // timer alive until it is invalidated; the handle returned may be dropped.
  virtual std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats,
                                               RunLoopMode mode,
                                               std::function<void(Timer&)> block) = 0;

  // Monotonic time in seconds, for deadlines.
  virtual double now() const = 0;
};

}  // namespace quorvelle
