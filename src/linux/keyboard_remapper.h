#pragma once

#include <cstdint>
#include <vector>

namespace quorvelle {

// A key the engine itself must report as another key, on a keyboard whose
// kernel keymap could not take the mapping in effect.
struct KeyTranslation {
  std::uint16_t from = 0;
  std::uint16_t to = 0;
};

// Keeps keyboards' kernel keymaps in line with the key mapping in effect (the
// one the key mapping tool set and recorded).
class KeyboardRemapper {
 public:
  virtual ~KeyboardRemapper() = default;

  // Applies the mapping in effect to one keyboard's kernel keymap. Returns the
  // translations the engine must make itself for keys this keyboard's keymap
  // cannot take (a uinput device has no keymap); empty when no mapping is in
  // effect or the keymap took all of it.
  virtual std::vector<KeyTranslation> prepareKeyboard(int deviceFd) = 0;
};

}  // namespace quorvelle
