#pragma once

#include <linux/input.h>
#include <unistd.h>

#include <cstddef>
#include <cstdint>

namespace quorvelle {

// Events on their way to a virtual device, collected so that one batch read
// from a keyboard leaves in one write(). Fixed size: nothing allocates.
class OutputFrames {
 public:
  explicit OutputFrames(int fd) : fd_(fd) {}

  // Called before each write() with what is about to be written; whoever
  // must hear of a change before the display server does uses it.
  using BeforeFlush = void (*)(void* context);
  void setBeforeFlush(BeforeFlush beforeFlush, void* context) {
    beforeFlush_ = beforeFlush;
    beforeFlushContext_ = context;
  }

  // Room for the worst case of one key: its scan code, four modifier
  // releases and four presses each in a frame of its own, the key, the report.
  static constexpr std::size_t kReserve = 40;
  static constexpr std::size_t kCapacity = 4096;

  void append(std::uint16_t type, std::uint16_t code, std::int32_t value) {
    input_event& event = events_[count_++];
    event = {};
    event.type = type;
    event.code = code;
    event.value = value;
    frameOpen_ = type != EV_SYN || code != SYN_REPORT;
  }
  // Ends the open frame, if any.
  void report() {
    if (frameOpen()) append(EV_SYN, SYN_REPORT, 0);
  }
  // A frame stays open across a flush until its report is appended.
  bool frameOpen() const { return frameOpen_; }

  const input_event* data() const { return events_; }
  std::size_t size() const { return count_; }

  int fd() const { return fd_; }

  // Writes what was collected in one write(). The virtual device takes all
  // of it or nothing; there is no one to tell on the key path when it fails.
  void flush() {
    if (count_ == 0) return;
    if (beforeFlush_) beforeFlush_(beforeFlushContext_);
    ssize_t ignored = ::write(fd_, events_, count_ * sizeof(input_event));
    (void)ignored;
    count_ = 0;
  }
  // Makes room for one more key's worth of events.
  void reserve() {
    if (count_ + kReserve > kCapacity) flush();
  }

 private:
  int fd_;
  input_event events_[kCapacity];
  std::size_t count_ = 0;
  bool frameOpen_ = false;
  BeforeFlush beforeFlush_ = nullptr;
  void* beforeFlushContext_ = nullptr;
};

}  // namespace quorvelle
