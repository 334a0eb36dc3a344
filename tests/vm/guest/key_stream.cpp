#include "key_stream.h"

#include "guest_common.h"

namespace vmtest {

KeyStream::KeyStream(const std::vector<input_event>& keys) : keys_(keys) {
  std::array<bool, KEY_MAX + 1> down{};
  for (size_t i = 0; i < keys.size(); ++i) {
    const input_event& key = keys[i];
    bool wasDown = down[key.code];
    if (key.value == 1 && wasDown) problems_.push_back(keyName(key.code) + " pressed twice at " + std::to_string(i));
    if (key.value == 0 && !wasDown) problems_.push_back(keyName(key.code) + " released while up at " + std::to_string(i));
    if (key.value == 2 && !wasDown) problems_.push_back(keyName(key.code) + " repeated while up at " + std::to_string(i));
    down[key.code] = key.value != 0;
    states_.push_back(down);
  }
}

int KeyStream::find(int code, int value, size_t from) const {
  for (size_t i = from; i < keys_.size(); ++i) {
    if (keys_[i].code == code && keys_[i].value == value) return static_cast<int>(i);
  }
  return -1;
}

int KeyStream::count(int code, int value) const {
  int n = 0;
  for (const input_event& key : keys_) n += (key.code == code && key.value == value);
  return n;
}

bool KeyStream::anyDownAtEnd() const {
  if (states_.empty()) return false;
  for (bool down : states_.back()) {
    if (down) return true;
  }
  return false;
}

std::string KeyStream::modifiers(size_t i) const {
  std::string text;
  if (control(i)) text += "C";
  if (alt(i)) text += "A";
  if (shift(i)) text += "S";
  if (meta(i)) text += "M";
  return text.empty() ? "-" : text;
}

}  // namespace vmtest
