#pragma once

#include <cstdint>

namespace quorvelle {

// How our own virtual devices tell themselves apart from every other input
// device: we never grab them (nor ones left by another copy of us), and the
// input access rule leaves them out. The virtual pointer carries the pointer
// events of keyboards that also point.
inline constexpr char kVirtualKeyboardName[] = "Quorvelle Virtual Keyboard";
inline constexpr char kVirtualPointerName[] = "Quorvelle Virtual Pointer";
inline constexpr std::uint16_t kVirtualKeyboardBus = 0x06;  // BUS_VIRTUAL
inline constexpr std::uint16_t kVirtualKeyboardVendor = 0x5156;
inline constexpr std::uint16_t kVirtualKeyboardProduct = 0x4859;
inline constexpr std::uint16_t kVirtualPointerProduct = 0x4850;

}  // namespace quorvelle
