// How a launch began. How it replaces older running copies is tested where
// the application delegate waits for them.
#include <gtest/gtest.h>

#include "app/launch_kind.h"

namespace quorvelle {
namespace {

TEST(LaunchKind, OnlyAnOpenEventMarkedAsLoginItemCounts) {
  struct Events : LaunchEvents {
    std::optional<LaunchEventDescriptor> currentEvent() const override { return event; }
    std::optional<LaunchEventDescriptor> event;
  } events;
  const std::pair<std::optional<LaunchEventDescriptor>, bool> cases[] = {
      {std::nullopt, false},
      {LaunchEventDescriptor{kAEOpenApplication, {}}, false},
      {LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}}, true},
      {LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, 0x6F746872}}}, false},
      {LaunchEventDescriptor{kAEOpenApplication, {{0x6B657930, kAELaunchedAsLogInItem}}}, false},
      {LaunchEventDescriptor{0x72617070, {{kAEPropData, kAELaunchedAsLogInItem}}}, false},  // 'rapp'
  };
  for (const auto& [event, loginItem] : cases) {
    events.event = event;
    EXPECT_EQ(launchedAsLoginItem(events), loginItem) << (&event - &cases[0].first);
  }
}

}  // namespace
}  // namespace quorvelle
