#include "linux/input/device_kind.h"

#include <linux/input.h>
#include <sys/ioctl.h>

#include "linux/input/virtual_keyboard_identity.h"

namespace quorvelle {

DeviceKind classifyDevice(const DeviceDescription& device, std::string_view virtualKeyboardName) {
  const bool ourId = device.bus == kVirtualKeyboardBus && device.vendor == kVirtualKeyboardVendor &&
                     (device.product == kVirtualKeyboardProduct || device.product == kVirtualPointerProduct);
  if (ourId || device.name == virtualKeyboardName || device.name == kVirtualKeyboardName ||
      device.name == kVirtualPointerName) {
    return DeviceKind::Ours;
  }
  constexpr std::uint32_t kEscapeToD = 0xFFFFFFFEu;  // KEY_RESERVED is never reported
  if ((device.firstKeys & kEscapeToD) != kEscapeToD) return DeviceKind::Other;
  return DeviceKind::Keyboard;
}

std::optional<DeviceDescription> describeDevice(int fd) {
  input_id id{};
  char name[256] = {};
  unsigned char keys[KEY_CNT / 8] = {};
  if (ioctl(fd, EVIOCGID, &id) < 0 || ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys) < 0) return std::nullopt;
  // A device without a name (ENOENT) is described all the same.
  ioctl(fd, EVIOCGNAME(sizeof name - 1), name);
  DeviceDescription description;
  description.name = name;
  description.bus = id.bustype;
  description.vendor = id.vendor;
  description.product = id.product;
  description.firstKeys = static_cast<std::uint32_t>(keys[0]) | static_cast<std::uint32_t>(keys[1]) << 8 |
                          static_cast<std::uint32_t>(keys[2]) << 16 | static_cast<std::uint32_t>(keys[3]) << 24;
  return description;
}

bool isVirtualKeyboardKey(unsigned code) {
  if (code >= KEY_RESERVED + 1 && code < BTN_MISC) return true;
  if (code >= KEY_OK && code < BTN_DPAD_UP) return true;
  if (code > BTN_DPAD_RIGHT && code < BTN_TRIGGER_HAPPY) return true;
  return false;
}

}  // namespace quorvelle
