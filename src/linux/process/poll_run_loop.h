#pragma once

#include <poll.h>

#include <functional>
#include <memory>
#include <vector>

#include "linux/process/fd_watcher.h"
#include "platform/run_loop.h"

namespace quorvelle {

// A main run loop on poll(), for programs without Qt. Single-threaded: every
// call comes from the thread that runs it. To quit on a signal, watch a
// signalfd or a self-pipe and call quit() from its callback. Run-loop modes do
// not exist here: every timer fires whatever the loop is doing.
class PollRunLoop : public RunLoop, public FdWatcher {
 public:
  PollRunLoop();
  ~PollRunLoop() override;
  PollRunLoop(const PollRunLoop&) = delete;
  PollRunLoop& operator=(const PollRunLoop&) = delete;

  void post(std::function<void()> task) override;
  std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode mode,
                                       std::function<void(Timer&)> block) override;
  double now() const override;
  std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override;

  // Runs until quit().
  void run();
  // Runs until the condition holds (checked after every turn) or the time
  // has passed. Returns the condition's last value.
  bool runUntil(const std::function<bool()>& condition, double timeoutSeconds);
  // Runs for the duration (or until quit()).
  void runFor(double seconds);
  // Makes run(), runUntil() or runFor() return after the current turn.
  void quit();

 private:
  class PollTimer;
  class PollWatch;
  struct WatchEntry;
  // One turn: due timers, posted tasks, then waits for fds at most until the
  // deadline (seconds on now()'s clock; negative: no deadline).
  void turn(double deadline);

  std::vector<std::function<void()>> posted_;
  std::vector<std::shared_ptr<PollTimer>> timers_;
  std::vector<std::shared_ptr<WatchEntry>> watches_;
  bool quit_ = false;
  // Scratch space of turn(), kept between turns.
  std::vector<std::shared_ptr<PollTimer>> dueTimers_;
  std::vector<std::function<void()>> runningTasks_;
  std::vector<std::shared_ptr<WatchEntry>> polled_;
  std::vector<pollfd> pollFds_;
};

}  // namespace quorvelle
