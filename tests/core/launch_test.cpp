// How a launch began, and how it replaces older running copies, on virtual
// time. A lone copy, the deadline, the forced quit and a newer copy
// are tested where the application delegate waits for them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/launch_kind.h"
#include "app/other_instances.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_running_applications.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr char kIdentifier[] = "com.quorvelle.Quorvelle";

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

struct OtherInstancesFixture : testing::Test {
  OtherInstancesFixture() { bundles.infos[bundles.mainPath] = {{"CFBundleIdentifier", std::string(kIdentifier)}}; }
  void start() {
    instances.terminateOtherInstances([this] { launchesCompleted.push_back(loop.now()); },
                                      [](int) { ADD_FAILURE() << "only older copies run here"; });
  }

  sim::Journal journal;
  sim::SimRunningApplications running{&journal};
  sim::SimBundles bundles;
  sim::SimRunLoop loop;
  OtherInstances instances{running, bundles, loop};
  std::vector<double> launchesCompleted;
};

TEST_F(OtherInstancesFixture, WithoutABundleIdentifierNothingIsSearchedAndStartUpGoesOn) {
  bundles.infos.clear();
  running.add(8, kIdentifier, true);
  start();
  EXPECT_EQ(launchesCompleted.size(), 1u);
  EXPECT_EQ(running.listings, 0);
  EXPECT_THAT(journal.entries(), IsEmpty());
}

TEST_F(OtherInstancesFixture, ACopyThatQuitsLetsStartUpGoOnAtTheFirstTickOnce) {
  running.add(7, kIdentifier, true);
  start();
  loop.advance(0.09);
  EXPECT_THAT(launchesCompleted, IsEmpty());
  loop.advance(10);
  EXPECT_THAT(launchesCompleted, ElementsAre(testing::DoubleNear(0.1, 1e-9)));
}

TEST_F(OtherInstancesFixture, TicksPauseWhileAMenuIsTrackedAndACopyStartedMeanwhileIsLeftAlone) {
  running.add(7, kIdentifier, false);
  start();
  running.add(9, kIdentifier, false);
  loop.setTrackingMenu(true);
  loop.advance(8.0);
  EXPECT_THAT(launchesCompleted, IsEmpty());
  loop.setTrackingMenu(false);
  loop.advance(0.1);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "force 7"));
  EXPECT_EQ(launchesCompleted.size(), 1u);
}

}  // namespace
}  // namespace quorvelle
