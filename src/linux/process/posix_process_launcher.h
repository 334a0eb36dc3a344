#pragma once

#include "platform/process_launcher.h"

namespace quorvelle {

class PosixProcessLauncher : public ProcessLauncher {
 public:
  bool launchAndWait(const std::string& executable, const std::vector<std::string>& arguments,
                     std::string* error) override;
};

}  // namespace quorvelle
