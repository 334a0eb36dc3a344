#pragma once

#include <string>
#include <vector>

#include "platform/launch_event.h"

namespace quorvelle {

// The launch as the command line tells it: every start opens the
// application, and the autostart entry's marker argument makes it a start as
// a login item.
class CommandLineLaunchEvents : public LaunchEvents {
 public:
  explicit CommandLineLaunchEvents(const std::vector<std::string>& arguments);
  CommandLineLaunchEvents(int argc, char** argv);

  std::optional<LaunchEventDescriptor> currentEvent() const override;

 private:
  bool loginItem_ = false;
};

}  // namespace quorvelle
