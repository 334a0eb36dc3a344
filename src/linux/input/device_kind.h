#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>

namespace quorvelle {

// What the kernel tells about an input device, from its event node or sysfs.
struct DeviceDescription {
  std::string name;
  std::uint16_t bus = 0;
  std::uint16_t vendor = 0;
  std::uint16_t product = 0;
  // Key codes 0 to 31 (Escape, the digits, Q to D), one bit each.
  std::uint32_t firstKeys = 0;
};

enum class DeviceKind { Keyboard, Other, Ours };

// The one rule for which devices Quorvelle takes: the engine grabs them and
// applies the key mapping to their keys.
// A keyboard has every key from Escape to D, as udev decides for
// ID_INPUT_KEYBOARD, whether or not it also points (its pointer events then
// pass through a virtual pointer). Our own virtual devices (by name or by id)
// are never keyboards to take.
DeviceKind classifyDevice(const DeviceDescription& device, std::string_view virtualKeyboardName);

// The description of an open event node; nullopt when it is not one.
std::optional<DeviceDescription> describeDevice(int fd);

// The keys the virtual keyboard offers: every keyboard key code, no buttons
// (a device with buttons would be taken for a mouse or a joystick). Buttons
// of a keyboard that points go to its virtual pointer.
bool isVirtualKeyboardKey(unsigned code);

}  // namespace quorvelle
