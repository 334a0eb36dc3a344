#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/appcast_feed.h"
#include "platform/update_window.h"
#include "platform/wall_clock.h"
#include "sim/sim_run_loop.h"

namespace quorvelle::sim {

// Calendar time that moves with the simulated run loop; `offset` sets the
// clock forward or back.
class SimWallClock : public WallClock {
 public:
  explicit SimWallClock(const SimRunLoop& loop, double start = 1.7e9) : loop_(loop), start_(start) {}
  double secondsSince1970() const override { return start_ + loop_.now() + offset; }
  double offset = 0;

 private:
  const SimRunLoop& loop_;
  double start_;
};

// A feed the test answers by hand.
class SimAppcastFeed : public AppcastFeed {
 public:
  void fetch(const std::string& url, Completion completion) override {
    requests.push_back(url);
    pending.push_back(std::move(completion));
  }
  // Answers the oldest request.
  void answer(std::vector<AppcastItem> items) { take()(std::move(items), {}); }
  void failWith(FeedFailure failure, std::string detail) { take()(std::nullopt, FeedError{failure, std::move(detail)}); }

  std::vector<std::string> requests;
  std::vector<Completion> pending;

 private:
  Completion take() {
    Completion completion = std::move(pending.front());
    pending.erase(pending.begin());
    return completion;
  }
};

// The updater's window: what it shows and whether it took the focus.
class SimUpdateWindow : public UpdateWindow {
 public:
  void show(const UpdateWindowContent& content, bool activate) override {
    shown.push_back(content);
    visible = true;
    activations += activate ? 1 : 0;
    if (activate) userAttends();
  }
  void setHandlers(std::function<void()> attention, std::function<void()> closed) override {
    onAttention = std::move(attention);
    onClosed = std::move(closed);
  }

  // The user clicks into the window, or closes it.
  void userAttends() {
    if (visible && onAttention) onAttention();
  }
  void userCloses() {
    visible = false;
    if (onClosed) onClosed();
  }
  const UpdateWindowContent& current() const { return shown.back(); }

  std::vector<UpdateWindowContent> shown;
  bool visible = false;
  int activations = 0;
  std::function<void()> onAttention;
  std::function<void()> onClosed;
};

}  // namespace quorvelle::sim
