#include "guest_common.h"

#include <fcntl.h>
#include <sys/wait.h>
#include <unistd.h>

#include <cstdio>

namespace vmtest {

std::string keyName(int code) {
  switch (code) {
    case KEY_A: return "A";
    case KEY_B: return "B";
    case KEY_C: return "C";
    case KEY_CAPSLOCK: return "CapsLock";
    case KEY_F18: return "F18";
    case KEY_LEFTCTRL: return "LCtrl";
    case KEY_RIGHTCTRL: return "RCtrl";
    case KEY_LEFTALT: return "LAlt";
    case KEY_RIGHTALT: return "RAlt";
    case KEY_LEFTMETA: return "LMeta";
    case KEY_RIGHTMETA: return "RMeta";
    case KEY_LEFTSHIFT: return "LShift";
    case KEY_RIGHTSHIFT: return "RShift";
    default: return std::to_string(code);
  }
}

std::string describeKeys(const std::vector<input_event>& keys) {
  std::string text;
  for (const input_event& key : keys) {
    if (!text.empty()) text += ' ';
    text += keyName(key.code);
    text += ':';
    text += std::to_string(key.value);
  }
  std::string result = "[";
  result += text;
  result += "]";
  return result;
}

std::vector<input_event> pressAndCollect(HostLink& host, EventNode& node, const std::vector<std::string>& presses,
                                         int lastCode, bool* complete, int gapMs) {
  host.keys(presses, gapMs);
  return node.keysUntil([&](const input_event& e) { return e.code == lastCode && e.value == 0; }, kWaitMs,
                        complete);
}

bool keysAre(const std::vector<input_event>& keys, const std::vector<std::pair<int, int>>& expected) {
  if (keys.size() != expected.size()) return false;
  for (size_t i = 0; i < keys.size(); ++i) {
    if (keys[i].code != expected[i].first || keys[i].value != expected[i].second) return false;
  }
  return true;
}

}  // namespace vmtest
