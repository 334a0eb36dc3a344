#pragma once

#include <string>

#include "platform/modifier_flags.h"

namespace quorvelle {

// The set as symbols, always in the order ⌃ ⌥ ⇧ ⌘ whatever the bit order;
// other flags add nothing.
inline std::string modifierSymbols(ModifierFlags flags) {
  std::string text;
  if (flags & kControlFlag) text += "⌃";
  if (flags & kOptionFlag) text += "⌥";
  if (flags & kShiftFlag) text += "⇧";
  if (flags & kCommandFlag) text += "⌘";
  return text;
}

}  // namespace quorvelle
