#pragma once

#include <linux/input.h>

#include <array>
#include <string>
#include <vector>

namespace vmtest {

// Replays key events as a reader of the output sees them, keeping which keys
// are down, and notes every impossible step (a release of a key that is up,
// a second press of a key that is down).
class KeyStream {
 public:
  explicit KeyStream(const std::vector<input_event>& keys);

  // The keys down just after event i, and what was wrong along the way.
  bool downAfter(size_t i, int code) const { return states_[i][static_cast<size_t>(code)]; }
  const std::vector<std::string>& problems() const { return problems_; }
  // Index of the first event with this code and value, or -1.
  int find(int code, int value, size_t from = 0) const;
  int count(int code, int value) const;
  bool anyDownAtEnd() const;

  // Which of Control, Alt, Shift, Meta (either side) are down after event i.
  bool control(size_t i) const { return downAfter(i, KEY_LEFTCTRL) || downAfter(i, KEY_RIGHTCTRL); }
  bool alt(size_t i) const { return downAfter(i, KEY_LEFTALT) || downAfter(i, KEY_RIGHTALT); }
  bool shift(size_t i) const { return downAfter(i, KEY_LEFTSHIFT) || downAfter(i, KEY_RIGHTSHIFT); }
  bool meta(size_t i) const { return downAfter(i, KEY_LEFTMETA) || downAfter(i, KEY_RIGHTMETA); }
  // "C A S M" letters for the modifiers down after event i.
  std::string modifiers(size_t i) const;

 private:
  const std::vector<input_event>& keys_;
  std::vector<std::array<bool, KEY_MAX + 1>> states_;
  std::vector<std::string> problems_;
};

}  // namespace vmtest
