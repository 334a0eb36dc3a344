#pragma once

#include <string>
#include <vector>

namespace quorvelle {

class ProcessLauncher {
 public:
  virtual ~ProcessLauncher() = default;

  // Runs the executable with the arguments (no shell), its standard output on
  // the null device and everything else inherited, and waits until it exits.
  // The exit status is not reported. Returns false, with *error describing
  // why, when the process could not be launched.
  virtual bool launchAndWait(const std::string& executable,
                             const std::vector<std::string>& arguments, std::string* error) = 0;
};

}  // namespace quorvelle
