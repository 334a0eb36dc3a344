#include "engine/key_mapping.h"

#include <utility>
#include <vector>

namespace quorvelle {

KeyMapping::KeyMapping(ProcessLauncher& launcher, HidSystem& hid, Log& log, std::string toolPath)
    : launcher_(launcher), hid_(hid), log_(log), toolPath_(std::move(toolPath)) {}

std::string KeyMapping::propertyText(bool enabled) {
  std::string text(kUserKeyMappingPrefix);
  text += enabled ? kCapsLockToF18MappingList : kEmptyMappingList;
  text += kUserKeyMappingSuffix;
  return text;
}

void KeyMapping::setCapsLockMapping(bool enabled) {
  std::vector<std::string> arguments = {"property", "--set", propertyText(enabled)};
  std::string error;
  // The exit status is deliberately not examined: the tool reports its own
  // failures on the standard error it shares with us.
  if (!launcher_.launchAndWait(toolPath_, arguments, &error)) {
    log_.write("Quorvelle: failed to run hidutil: " + error);
  }
}

void KeyMapping::clearCapsLockState() { hid_.setCapsLockStateOff(); }

}  // namespace quorvelle
