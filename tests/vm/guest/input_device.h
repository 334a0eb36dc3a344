#pragma once

#include <linux/input.h>

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

namespace vmtest {

// Milliseconds on the monotonic clock.
std::int64_t nowMs();

// The event nodes whose device name is `name`, sorted by their physical path.
std::vector<std::string> nodesNamed(const std::string& name);

// Waits (bounded) until `count` devices named `name` exist; returns their nodes.
std::vector<std::string> waitForNodes(const std::string& name, size_t count, int timeoutMs);
// Whether every node of that name is gone within the time.
bool waitForNoNode(const std::string& name, int timeoutMs);

// One open event node, read with timeouts. Timestamps are on the monotonic
// clock, so they compare with nowUs().
class EventNode {
 public:
  explicit EventNode(const std::string& node);
  ~EventNode();
  EventNode(const EventNode&) = delete;
  EventNode& operator=(const EventNode&) = delete;

  bool ok() const { return fd_ >= 0; }

  // The next event, or nullopt when none came within the timeout.
  std::optional<input_event> next(int timeoutMs);

  // The key events (EV_KEY) that arrive until the predicate holds for the
  // last one, or until the timeout. *complete tells which.
  template <typename Pred>
  std::vector<input_event> keysUntil(Pred done, int timeoutMs, bool* complete) {
    std::vector<input_event> keys;
    std::int64_t deadline = nowMs() + timeoutMs;
    *complete = false;
    for (;;) {
      int left = static_cast<int>(deadline - nowMs());
      if (left <= 0) return keys;
      std::optional<input_event> event = next(left);
      if (!event) return keys;
      if (event->type != EV_KEY) continue;
      keys.push_back(*event);
      if (done(*event)) {
        *complete = true;
        return keys;
      }
    }
  }

  bool anyKeyDown() const;
  bool ledOn(int led) const;
  // Whether another reader holds the device grabbed (our own grab fails).
  bool grabbedElsewhere() const;

 private:
  int fd_ = -1;
  std::vector<input_event> buffer_;
  size_t position_ = 0;
};

std::int64_t nowUs();
std::int64_t eventTimeUs(const input_event& event);

}  // namespace vmtest
