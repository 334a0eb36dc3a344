#pragma once

#include <string>
#include <string_view>

#include "platform/hid_system.h"
#include "platform/log.h"
#include "platform/process_launcher.h"

namespace quorvelle {

// The UserKeyMapping property text handed to the key mapping tool: prefix,
// mapping list, closing brace. Keys are HID usages, (page << 32) | usage.
inline constexpr std::string_view kUserKeyMappingPrefix = "{\"UserKeyMapping\":";
inline constexpr std::string_view kCapsLockToF18MappingList =
    "[{\"HIDKeyboardModifierMappingSrc\":0x700000039,\"HIDKeyboardModifierMappingDst\":0x70000006D}]";
inline constexpr std::string_view kEmptyMappingList = "[]";
inline constexpr std::string_view kUserKeyMappingSuffix = "}";

// Makes the system report Caps Lock as F18, through the platform's key
// mapping tool run as a process, and resets the caps-lock lock state.
class KeyMapping {
 public:
  KeyMapping(ProcessLauncher& launcher, HidSystem& hid, Log& log, std::string toolPath);

  // true applies the Caps Lock to F18 mapping; false clears every user key
  // mapping. Blocks until the tool has exited or failed to launch.
  void setCapsLockMapping(bool enabled);

  // Switches the caps-lock lock state off.
  void clearCapsLockState();

  static std::string propertyText(bool enabled);

 private:
  ProcessLauncher& launcher_;
  HidSystem& hid_;
  Log& log_;
  std::string toolPath_;
};

}  // namespace quorvelle
