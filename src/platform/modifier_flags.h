#pragma once

#include <cstdint>

namespace quorvelle {

// Modifier flags in the 64-bit layout shared by key events and the stored
// hyper modifier set.
using ModifierFlags = std::uint64_t;

inline constexpr ModifierFlags kCapsLockFlag = 0x10000;
inline constexpr ModifierFlags kShiftFlag = 0x20000;
inline constexpr ModifierFlags kControlFlag = 0x40000;
inline constexpr ModifierFlags kOptionFlag = 0x80000;
inline constexpr ModifierFlags kCommandFlag = 0x100000;
inline constexpr ModifierFlags kNumericPadFlag = 0x200000;
inline constexpr ModifierFlags kHelpFlag = 0x400000;
inline constexpr ModifierFlags kFunctionFlag = 0x800000;

// Control, Option and Command: the hyper set until the user records another.
inline constexpr ModifierFlags kDefaultHyperFlags = kControlFlag | kOptionFlag | kCommandFlag;

}  // namespace quorvelle
