#pragma once

#include <vector>

#include "linux/input/input_devices.h"

namespace quorvelle {

// Waits until none of the keyboards (opened, not grabbed yet) has a key down,
// or the time has passed. A key pressed before the grab must be released
// before it, or the display server never sees it go up. Events read meanwhile
// went to the display server as well and are discarded.
void waitUntilKeysUp(InputDevices& devices, const std::vector<int>& fds, double seconds);

}  // namespace quorvelle
