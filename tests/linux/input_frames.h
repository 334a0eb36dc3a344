#pragma once

#include <linux/input.h>
#include <unistd.h>

#include <cstdio>
#include <map>
#include <string>
#include <vector>


namespace quorvelle::testing_support {

inline input_event event(std::uint16_t type, std::uint16_t code, std::int32_t value) {
  input_event e{};
  e.type = type;
  e.code = code;
  e.value = value;
  return e;
}
inline input_event key(std::uint16_t code, std::int32_t value) { return event(EV_KEY, code, value); }
inline input_event report() { return event(EV_SYN, SYN_REPORT, 0); }

// A key press or release in a frame of its own, after its scan code.
inline std::vector<input_event> frame(std::uint16_t code, std::int32_t value) {
  return {event(EV_MSC, MSC_SCAN, 0x70000 + code), key(code, value), report()};
}

// One write(), as the kernel hands a batch of frames over.
inline void send(int fd, const std::vector<input_event>& events) {
  if (::write(fd, events.data(), events.size() * sizeof(input_event)) < 0) std::abort();
}

// Every message waiting on the socket, one per write() of the other end, as text.
inline std::vector<std::string> receive(int fd, int* messages = nullptr) {
  static const std::map<int, const char*> kNames = {
      {KEY_A, "A"},         {KEY_B, "B"},           {KEY_C, "C"},          {KEY_LEFTCTRL, "LCTRL"},
      {KEY_LEFTALT, "LALT"}, {KEY_RIGHTALT, "RALT"}, {KEY_LEFTSHIFT, "LSHIFT"}, {KEY_RIGHTSHIFT, "RSHIFT"},
      {KEY_LEFTMETA, "LMETA"}, {KEY_RIGHTMETA, "RMETA"}, {KEY_CAPSLOCK, "CAPS"}, {KEY_F18, "F18"}};
  std::vector<std::string> lines;
  input_event buffer[8192];
  ssize_t length;
  if (messages) *messages = 0;
  while ((length = ::read(fd, buffer, sizeof buffer)) > 0) {
    if (messages) ++*messages;
    for (ssize_t i = 0; i < length / static_cast<ssize_t>(sizeof(input_event)); ++i) {
      const input_event& e = buffer[i];
      char text[64];
      if (e.type == EV_SYN) {
        std::snprintf(text, sizeof text, e.code == SYN_REPORT ? "SYN" : "SYN %d", e.code);
      } else if (e.type == EV_MSC) {
        std::snprintf(text, sizeof text, "MSC %x", static_cast<unsigned>(e.value));
      } else if (e.type == EV_KEY && kNames.count(e.code)) {
        std::snprintf(text, sizeof text, "%s %d", kNames.at(e.code), e.value);
      } else {
        std::snprintf(text, sizeof text, "%d:%d %d", e.type, e.code, e.value);
      }
      lines.push_back(text);
    }
  }
  return lines;
}

}  // namespace quorvelle::testing_support
