#include "linux/process/poll_run_loop.h"

#include <poll.h>

#include <algorithm>
#include <chrono>
#include <cmath>

namespace quorvelle {

struct PollRunLoop::WatchEntry {
  int fd = -1;
  std::function<void()> onReadable;
  bool alive = true;
};

class PollRunLoop::PollWatch : public FdWatcher::Watch {
 public:
  explicit PollWatch(std::shared_ptr<WatchEntry> entry) : entry_(std::move(entry)) {}
  // The loop drops dead entries at its next turn; one whose callback is
  // running stays alive until that call returns.
  ~PollWatch() override { entry_->alive = false; }

 private:
  std::shared_ptr<WatchEntry> entry_;
};

class PollRunLoop::PollTimer : public Timer {
 public:
  PollTimer(double interval, bool repeats, std::function<void(Timer&)> block, double fireAt)
      : interval_(interval), repeats_(repeats), block_(std::move(block)), fireAt_(fireAt) {}

  void invalidate() override { valid_ = false; }
  bool isValid() const override { return valid_; }

  double fireAt() const { return fireAt_; }

  void fire(double now) {
    if (!repeats_) valid_ = false;
    block_(*this);
    // A late timer skips missed ticks instead of firing in a burst.
    if (repeats_) fireAt_ = std::max(fireAt_ + interval_, now);
  }

 private:
  double interval_;
  bool repeats_;
  std::function<void(Timer&)> block_;
  double fireAt_;
  bool valid_ = true;
};

PollRunLoop::PollRunLoop() = default;

PollRunLoop::~PollRunLoop() = default;

void PollRunLoop::post(std::function<void()> task) { posted_.push_back(std::move(task)); }

std::shared_ptr<Timer> PollRunLoop::scheduleTimer(double intervalSeconds, bool repeats, RunLoopMode,
                                                  std::function<void(Timer&)> block) {
  auto timer = std::make_shared<PollTimer>(std::max(intervalSeconds, 0.0), repeats, std::move(block),
                                           now() + std::max(intervalSeconds, 0.0));
  timers_.push_back(timer);
  return timer;
}

double PollRunLoop::now() const {
  using namespace std::chrono;
  return duration<double>(steady_clock::now().time_since_epoch()).count();
}

std::unique_ptr<FdWatcher::Watch> PollRunLoop::watchReadable(int fd, std::function<void()> onReadable) {
  auto entry = std::make_shared<WatchEntry>();
  entry->fd = fd;
  entry->onReadable = std::move(onReadable);
  watches_.push_back(entry);
  return std::make_unique<PollWatch>(entry);
}

// Waits first and works last, so that the caller sees the work of a turn as
// soon as it is done. The scratch vectors keep their capacity: a quiet turn
// allocates nothing.
void PollRunLoop::turn(double deadline) {
  std::erase_if(watches_, [](const auto& entry) { return !entry->alive; });
  std::erase_if(timers_, [](const auto& timer) { return !timer->isValid(); });

  double wait = -1;  // seconds; negative waits for an fd
  if (!posted_.empty() || quit_) {
    wait = 0;
  } else {
    const double start = now();
    for (const auto& timer : timers_) {
      const double left = std::max(timer->fireAt() - start, 0.0);
      if (wait < 0 || left < wait) wait = left;
    }
    if (deadline >= 0) {
      const double left = std::max(deadline - start, 0.0);
      if (wait < 0 || left < wait) wait = left;
    }
  }
  const int timeoutMs = wait < 0 ? -1 : static_cast<int>(std::ceil(wait * 1000.0));

  // The entries are held for the whole dispatch: a callback may remove any
  // watch, its own included, or add new ones.
  polled_ = watches_;
  pollFds_.clear();
  for (const auto& entry : polled_) pollFds_.push_back({entry->fd, POLLIN, 0});
  const int ready = ::poll(pollFds_.data(), pollFds_.size(), timeoutMs);
  if (ready > 0) {  // else a timeout, or EINTR: the next turn looks again
    for (std::size_t i = 0; i < pollFds_.size(); ++i) {
      if (pollFds_[i].revents == 0 || !polled_[i]->alive) continue;
      polled_[i]->onReadable();
    }
  }
  polled_.clear();

  // Timers that are due, each at most once per turn.
  const double fired = now();
  for (const auto& timer : timers_) {
    if (timer->isValid() && timer->fireAt() <= fired) dueTimers_.push_back(timer);
  }
  for (const auto& timer : dueTimers_) {
    if (timer->isValid()) timer->fire(fired);
  }
  dueTimers_.clear();

  // Tasks posted before this point; those they post wait for the next turn.
  runningTasks_.swap(posted_);
  for (auto& task : runningTasks_) task();
  runningTasks_.clear();
}

void PollRunLoop::run() {
  quit_ = false;
  while (!quit_) turn(-1);
}

bool PollRunLoop::runUntil(const std::function<bool()>& condition, double timeoutSeconds) {
  quit_ = false;
  const double deadline = now() + timeoutSeconds;
  while (!condition()) {
    if (quit_ || now() >= deadline) return condition();
    turn(deadline);
  }
  return true;
}

void PollRunLoop::runFor(double seconds) {
  quit_ = false;
  const double deadline = now() + seconds;
  while (!quit_ && now() < deadline) turn(deadline);
}

void PollRunLoop::quit() { quit_ = true; }

}  // namespace quorvelle
