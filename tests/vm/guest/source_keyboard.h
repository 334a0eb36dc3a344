#pragma once

#include <string>

namespace vmtest {

// A uinput keyboard with the usual keys, typed on by the checker itself. Like
// every uinput device it has no kernel keymap.
class SourceKeyboard {
 public:
  explicit SourceKeyboard(const std::string& name);
  ~SourceKeyboard();
  SourceKeyboard(const SourceKeyboard&) = delete;
  SourceKeyboard& operator=(const SourceKeyboard&) = delete;

  bool ok() const { return fd_ >= 0; }
  // One frame: the key event and its SYN_REPORT, in one write.
  bool key(int code, int value);

 private:
  int fd_ = -1;
};

}  // namespace vmtest
