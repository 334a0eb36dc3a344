#pragma once

#include <map>

#include "platform/local_key_monitor.h"

namespace quorvelle::sim {

// A local key monitor the test feeds events into, as the application would
// receive them.
class SimLocalKeyMonitor : public LocalKeyMonitor {
 public:
  std::optional<Token> addMonitor(std::uint64_t eventMask, Handler handler) override {
    ++installs;
    if (refuse) return std::nullopt;
    monitors_[++lastToken_] = {eventMask, std::move(handler)};
    return lastToken_;
  }
  void removeMonitor(Token token) override {
    ++removals;
    monitors_.erase(token);
  }

  // Hands one event to the monitors in the order they were added; answers
  // whether it reaches the application.
  bool deliver(std::uint32_t type, std::uint16_t keyCode, ModifierFlags flags = 0) {
    KeyEvent event{type, keyCode, flags};
    std::map<Token, Monitor> snapshot = monitors_;
    for (auto& [token, monitor] : snapshot) {
      if (!monitors_.count(token) || !(monitor.mask & (std::uint64_t{1} << type))) continue;
      if (!monitor.handler(event)) return false;
    }
    return true;
  }
  bool flagsChanged(ModifierFlags flags) { return deliver(kFlagsChangedEvent, 0, flags); }
  bool keyDown(std::uint16_t keyCode, ModifierFlags flags = 0) { return deliver(kKeyDownEvent, keyCode, flags); }

  size_t activeMonitors() const { return monitors_.size(); }
  std::uint64_t maskOf(Token token) const { return monitors_.at(token).mask; }

  bool refuse = false;
  int installs = 0;
  int removals = 0;

 private:
  struct Monitor {
    std::uint64_t mask = 0;
    Handler handler;
  };
  std::map<Token, Monitor> monitors_;
  Token lastToken_ = 0;
};

}  // namespace quorvelle::sim
