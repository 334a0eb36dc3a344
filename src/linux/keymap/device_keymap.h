#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/keymap/keymap_plan.h"
#include "linux/keymap/keymap_state.h"

namespace quorvelle {

// The kernel keymap of one open input device (an evdev node).

std::optional<DeviceIdentity> readDeviceIdentity(int fd, std::string* error);

// Every keymap entry, by index. Empty when the device has no keymap (a
// uinput device, for one).
std::optional<std::vector<KeymapEntry>> readKeymap(int fd, std::string* error);

bool writeKeyCode(int fd, const Scancode& scancode, std::uint32_t keyCode, std::string* error);

// Whether the device can report the key at all.
bool deviceHasKey(int fd, std::uint16_t keyCode);

}  // namespace quorvelle
