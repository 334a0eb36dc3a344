#pragma once

#include <map>

#include "platform/local_key_monitor.h"

namespace quorvelle::sim {

// A local key monitor the test feeds events into.
class SimLocalKeyMonitor : public LocalKeyMonitor {
 public:
  std::optional<Token> addMonitor(std::uint64_t eventMask, Handler handler) override {
    if (refuse) return std::nullopt;
    monitors[++lastToken] = {eventMask, std::move(handler)};
    return lastToken;
  }
  void removeMonitor(Token token) override { monitors.erase(token); }

  // Answers whether the event reaches the application.
  bool deliver(std::uint32_t type, std::uint16_t keyCode, ModifierFlags flags = 0) {
    for (auto [token, monitor] : std::map(monitors)) {  // a copy: handlers remove themselves
      if ((monitor.first & (std::uint64_t{1} << type)) && !monitor.second(KeyEvent{type, keyCode, flags}))
        return false;
    }
    return true;
  }

  bool refuse = false;
  std::map<Token, std::pair<std::uint64_t, Handler>> monitors;  // mask and handler
  Token lastToken = 0;
};

}  // namespace quorvelle::sim
