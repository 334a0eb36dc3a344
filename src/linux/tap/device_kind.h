#pragma once

#include <cstdint>
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
  // It reports relative or absolute axes: a mouse, touchpad or tablet.
  bool hasAxes = false;
};

enum class DeviceKind { Keyboard, Other, OurVirtualKeyboard };

// A keyboard has every key from Escape to D, as udev decides for
// ID_INPUT_KEYBOARD, so the grab and the access rule see the same devices.
// A keyboard that also points is left alone: the virtual keyboard could not
// carry its pointer events. Any virtual keyboard of ours (by name or by id) is
// never a keyboard to grab.
DeviceKind classifyDevice(const DeviceDescription& device, std::string_view virtualKeyboardName);

// The keys the virtual keyboard offers: every keyboard key code, no buttons
// (a device with buttons would be taken for a mouse or a joystick).
bool isVirtualKeyboardKey(unsigned code);

}  // namespace quorvelle
