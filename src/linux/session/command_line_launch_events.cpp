#include "linux/session/command_line_launch_events.h"

#include <algorithm>

#include "linux/session/launch_marker.h"

namespace quorvelle {

CommandLineLaunchEvents::CommandLineLaunchEvents(const std::vector<std::string>& arguments)
    // The program name is not an argument, even when it happens to match.
    : loginItem_(arguments.size() > 1 && std::find(arguments.begin() + 1, arguments.end(),
                                                    kLoginItemLaunchArgument) != arguments.end()) {}

CommandLineLaunchEvents::CommandLineLaunchEvents(int argc, char** argv)
    : CommandLineLaunchEvents(std::vector<std::string>(argv, argv + argc)) {}

std::optional<LaunchEventDescriptor> CommandLineLaunchEvents::currentEvent() const {
  LaunchEventDescriptor event;
  event.eventID = kAEOpenApplication;
  if (loginItem_) event.enumParameters[kAEPropData] = kAELaunchedAsLogInItem;
  return event;
}

}  // namespace quorvelle
