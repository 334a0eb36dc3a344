#pragma once

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>
#include <functional>
#include <map>
#include <memory>
#include <vector>

#include "linux/fd_watcher.h"
#include "platform/run_loop.h"

namespace quorvelle::testing_support {

// The smallest real main loop for tests and test programs: a task queue,
// timers on the monotonic clock, and poll() over watched descriptors.
class PollLoop : public RunLoop, public FdWatcher {
 public:
  void post(std::function<void()> task) override { tasks_.push_back(std::move(task)); }

  std::shared_ptr<Timer> scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode,
                                       std::function<void(Timer&)> block) override {
    auto timer = std::make_shared<LoopTimer>();
    timer->interval = intervalSeconds;
    timer->repeats = repeats;
    timer->fireAt = now() + intervalSeconds;
    timer->block = std::move(block);
    timers_.push_back(timer);
    return timer;
  }

  double now() const override {
    return std::chrono::duration<double>(std::chrono::steady_clock::now().time_since_epoch())
        .count();
  }

  std::unique_ptr<Watch> watchReadable(int fd, std::function<void()> onReadable) override {
    const int id = nextWatch_++;
    watches_[id] = {fd, std::move(onReadable)};
    return std::make_unique<LoopWatch>(watches_, id);
  }

  // One turn: queued tasks, due timers, then descriptors, waiting at most
  // maxWaitSeconds for one to become readable.
  void runOnce(double maxWaitSeconds) {
    runTasks();
    std::erase_if(timers_, [](const auto& t) { return !t->valid; });
    double wait = maxWaitSeconds;
    for (const auto& timer : std::vector<std::shared_ptr<LoopTimer>>(timers_)) {
      if (!timer->valid) continue;
      if (timer->fireAt <= now()) {
        if (timer->repeats) {
          timer->fireAt += timer->interval;
        } else {
          timer->valid = false;
        }
        timer->block(*timer);
        runTasks();
      }
      if (timer->valid) wait = std::min(wait, std::max(0.0, timer->fireAt - now()));
    }
    if (!tasks_.empty()) wait = 0;
    std::vector<pollfd> fds;
    std::vector<int> ids;
    for (const auto& [id, watch] : watches_) {
      fds.push_back({watch.fd, POLLIN, 0});
      ids.push_back(id);
    }
    int ready = poll(fds.data(), fds.size(), static_cast<int>(std::ceil(wait * 1000)));
    if (ready <= 0) return;
    for (size_t i = 0; i < fds.size(); ++i) {
      if (fds[i].revents == 0) continue;
      auto it = watches_.find(ids[i]);
      if (it == watches_.end()) continue;  // removed by an earlier callback
      std::function<void()> callback = it->second.onReadable;
      callback();
    }
    runTasks();
  }

  // Turns the loop until done() holds; false when timeoutSeconds pass first.
  bool runUntil(const std::function<bool()>& done, double timeoutSeconds) {
    const double end = now() + timeoutSeconds;
    while (!done()) {
      if (now() > end) return false;
      runOnce(0.05);
    }
    return true;
  }

 private:
  struct LoopTimer : Timer {
    void invalidate() override { valid = false; }
    bool isValid() const override { return valid; }
    double interval = 0;
    bool repeats = false;
    double fireAt = 0;
    bool valid = true;
    std::function<void(Timer&)> block;
  };
  struct WatchEntry {
    int fd;
    std::function<void()> onReadable;
  };
  class LoopWatch : public Watch {
   public:
    LoopWatch(std::map<int, WatchEntry>& watches, int id) : watches_(watches), id_(id) {}
    ~LoopWatch() override { watches_.erase(id_); }

   private:
    std::map<int, WatchEntry>& watches_;
    int id_;
  };

  void runTasks() {
    while (!tasks_.empty()) {
      std::vector<std::function<void()>> batch;
      batch.swap(tasks_);
      for (auto& task : batch) task();
    }
  }

  std::vector<std::function<void()>> tasks_;
  std::vector<std::shared_ptr<LoopTimer>> timers_;
  std::map<int, WatchEntry> watches_;
  int nextWatch_ = 1;
};

}  // namespace quorvelle::testing_support
