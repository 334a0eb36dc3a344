#include "linux/tap/device_kind.h"

#include <linux/input.h>

#include "linux/virtual_keyboard_identity.h"

namespace quorvelle {

DeviceKind classifyDevice(const DeviceDescription& device, std::string_view virtualKeyboardName) {
  const bool ourId = device.bus == kVirtualKeyboardBus && device.vendor == kVirtualKeyboardVendor &&
                     device.product == kVirtualKeyboardProduct;
  if (ourId || device.name == virtualKeyboardName || device.name == kVirtualKeyboardName) {
    return DeviceKind::OurVirtualKeyboard;
  }
  constexpr std::uint32_t kEscapeToD = 0xFFFFFFFEu;  // KEY_RESERVED is never reported
  if ((device.firstKeys & kEscapeToD) != kEscapeToD) return DeviceKind::Other;
  if (device.hasAxes) return DeviceKind::Other;
  return DeviceKind::Keyboard;
}

bool isVirtualKeyboardKey(unsigned code) {
  if (code >= KEY_RESERVED + 1 && code < BTN_MISC) return true;
  if (code >= KEY_OK && code < BTN_DPAD_UP) return true;
  if (code > BTN_DPAD_RIGHT && code < BTN_TRIGGER_HAPPY) return true;
  return false;
}

}  // namespace quorvelle
