#pragma once

#include "platform/launch_event.h"
#include "update/update_controller.h"

namespace quorvelle {

// Whether the system started the application as a login item: the launch
// event opens the application and says so in its property-data parameter.
bool launchedAsLoginItem(const LaunchEvents& events);

// The settings window opens at the end of an ordinary launch, not after a
// start at login nor after the updater relaunched the application.
bool showSettingsAtLaunch(const LaunchEvents& events, const UpdateController& updates);

}  // namespace quorvelle
