#include "app/launch_kind.h"

#include <optional>

namespace quorvelle {

bool launchedAsLoginItem(const LaunchEvents& events) {
  std::optional<LaunchEventDescriptor> event = events.currentEvent();
  if (!event) return false;
  if (event->eventID != kAEOpenApplication) return false;
  auto parameter = event->enumParameters.find(kAEPropData);
  if (parameter == event->enumParameters.end()) return false;
  return parameter->second == kAELaunchedAsLogInItem;
}

bool showSettingsAtLaunch(const LaunchEvents& events, const UpdateController& updates) {
  if (launchedAsLoginItem(events)) return false;
  return !updates.relaunchedAfterUpdate();
}

}  // namespace quorvelle
