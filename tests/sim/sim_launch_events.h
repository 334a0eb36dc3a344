#pragma once

#include <optional>

#include "platform/launch_event.h"

namespace quorvelle::sim {

class SimLaunchEvents : public LaunchEvents {
 public:
  std::optional<LaunchEventDescriptor> currentEvent() const override { return event; }
  std::optional<LaunchEventDescriptor> event;
};

}  // namespace quorvelle::sim
