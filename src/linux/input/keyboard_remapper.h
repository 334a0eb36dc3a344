#pragma once

#include <cstdint>
#include <vector>

namespace quorvelle {

// A key the engine reports as another key.
struct KeyTranslation {
  std::uint16_t from = 0;
  std::uint16_t to = 0;
};

// The key mapping in effect, as the engine applies it to the keys it reads.
// Nothing here touches a keyboard's kernel keymap: what the engine does ends
// with it.
class KeyboardRemapper {
 public:
  virtual ~KeyboardRemapper() = default;

  // The translations the engine makes for keys read from this keyboard;
  // empty when no mapping is in effect.
  virtual std::vector<KeyTranslation> prepareKeyboard(int deviceFd) = 0;
};

}  // namespace quorvelle
