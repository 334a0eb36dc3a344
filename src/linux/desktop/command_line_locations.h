#pragma once

#include <string>

#include "install/command_line_paths.h"

namespace quorvelle {

// The user's own ~/.local/bin first (no password needed), then the system's
// /usr/local/bin, which the privileged fallback links into.
inline CommandLinePaths linuxCommandLinePaths(const std::string& home) {
  return CommandLinePaths{{home + "/.local/bin", "/usr/local/bin"}, "/usr/local/bin/quorvelle"};
}

}  // namespace quorvelle
