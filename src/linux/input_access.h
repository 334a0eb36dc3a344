#pragma once

#include <string>

namespace quorvelle {

struct InputAccessPaths {
  std::string inputDirectory = "/dev/input";
  std::string uinputPath = "/dev/uinput";
  // Where the kernel describes each event node (name, capabilities).
  std::string sysClassInput = "/sys/class/input";
};

// Whether this process may create the virtual keyboard (read and write the
// uinput node) and read every keyboard's event node: the Linux answer to the
// accessibility trust check. Only looks: opens no device and changes nothing.
// On false, *why (when given) names what is missing.
bool hasInputAccess(const InputAccessPaths& paths, std::string* why = nullptr);

}  // namespace quorvelle
