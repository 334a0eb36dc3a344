#pragma once

#include <linux/input.h>

#include <array>
#include <cstdint>

#include "platform/modifier_flags.h"

namespace quorvelle {

// The four modifiers the hyper set is made of, in the order synthetic ones
// are pressed (and released in reverse): Control, Option, Shift, Command.
// Here because the bits of SyntheticKeys follow this order on both sides.
struct ModifierKeys {
  ModifierFlags flag;
  std::uint16_t left;  // the key a synthetic modifier is pressed as
  std::uint16_t right;
};

inline constexpr std::array<ModifierKeys, 4> kModifierKeys = {{
    {kControlFlag, KEY_LEFTCTRL, KEY_RIGHTCTRL},
    {kOptionFlag, KEY_LEFTALT, KEY_RIGHTALT},
    {kShiftFlag, KEY_LEFTSHIFT, KEY_RIGHTSHIFT},
    {kCommandFlag, KEY_LEFTMETA, KEY_RIGHTMETA},
}};

// Keys that only change modifier state. Like flag changes, they pass through
// the tap untouched and never reach the handler; Caps Lock counts among them.
inline bool isModifierKey(std::uint16_t code) {
  for (const ModifierKeys& keys : kModifierKeys) {
    if (code == keys.left || code == keys.right) return true;
  }
  return code == KEY_CAPSLOCK;
}

}  // namespace quorvelle
