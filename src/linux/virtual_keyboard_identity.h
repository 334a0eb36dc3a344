#pragma once

#include <cstdint>

namespace quorvelle {

// How our own virtual keyboard tells itself apart from every other input
// device: we never grab it (nor one left by another copy of us), and the
// input access rule leaves it out.
inline constexpr char kVirtualKeyboardName[] = "Quorvelle Virtual Keyboard";
inline constexpr std::uint16_t kVirtualKeyboardBus = 0x06;  // BUS_VIRTUAL
inline constexpr std::uint16_t kVirtualKeyboardVendor = 0x5156;
inline constexpr std::uint16_t kVirtualKeyboardProduct = 0x4859;

}  // namespace quorvelle
