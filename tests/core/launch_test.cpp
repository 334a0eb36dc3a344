// How a launch began, and how it replaces older running copies, on virtual time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "app/launch_kind.h"
#include "app/other_instances.h"
#include "sim/sim_launch_events.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_running_applications.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr char kIdentifier[] = "com.quorvelle.Quorvelle";

TEST(LaunchKind, OnlyAnOpenEventMarkedAsLoginItemCounts) {
  struct Case {
    std::optional<LaunchEventDescriptor> event;
    bool loginItem;
  };
  const Case cases[] = {
      {std::nullopt, false},
      {LaunchEventDescriptor{kAEOpenApplication, {}}, false},
      {LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}}, true},
      {LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, 0x6F746872}}}, false},
      {LaunchEventDescriptor{kAEOpenApplication, {{0x6B657930, kAELaunchedAsLogInItem}}}, false},
      {LaunchEventDescriptor{0x72617070, {{kAEPropData, kAELaunchedAsLogInItem}}}, false},  // 'rapp'
  };
  for (size_t i = 0; i < std::size(cases); ++i) {
    SCOPED_TRACE(i);
    sim::SimLaunchEvents events;
    events.event = cases[i].event;
    EXPECT_EQ(launchedAsLoginItem(events), cases[i].loginItem);
  }
}

// The deadline and the forced quit are tested where the application
// delegate waits for them; what the delegate does once gone, there as well.
struct OtherInstancesFixture : testing::Test {
  OtherInstancesFixture() {
    bundles.infos[bundles.mainPath] = {{"CFBundleIdentifier", std::string(kIdentifier)}};
    running.currentPid = 100;
  }
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

TEST_F(OtherInstancesFixture, AloneCompletesAtOnceWithoutATimer) {
  running.add(100, kIdentifier, true);       // this process
  running.add(7, "org.example.Other", true);  // another application
  start();
  EXPECT_THAT(launchesCompleted, ElementsAre(0.0));
  EXPECT_EQ(loop.liveTimers(), 0u);
  EXPECT_THAT(journal.entries(), IsEmpty());
}

TEST_F(OtherInstancesFixture, WithoutABundleIdentifierNothingIsSearched) {
  bundles.infos.clear();
  running.add(7, kIdentifier, true);
  start();
  EXPECT_EQ(launchesCompleted.size(), 1u);
  EXPECT_EQ(running.listings, 0);
  EXPECT_THAT(journal.entries(), IsEmpty());
}

TEST_F(OtherInstancesFixture, CopyThatQuitsContinuesOnTheFirstTick) {
  running.add(7, kIdentifier, true);
  start();
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
  EXPECT_THAT(launchesCompleted, IsEmpty());
  loop.advance(0.09);
  EXPECT_THAT(launchesCompleted, IsEmpty());
  loop.advance(0.02);
  ASSERT_EQ(launchesCompleted.size(), 1u);
  EXPECT_NEAR(launchesCompleted[0], 0.1, 1e-9);
  EXPECT_EQ(loop.liveTimers(), 0u);
  loop.advance(10);
  EXPECT_EQ(launchesCompleted.size(), 1u);
}

TEST_F(OtherInstancesFixture, CopyStartedDuringTheWaitIsLeftAlone) {
  auto older = running.add(7, kIdentifier, false);
  start();
  running.add(9, kIdentifier, false);
  loop.advance(0.3);
  older->terminated = true;  // quits in its own time
  loop.advance(0.1);
  EXPECT_EQ(launchesCompleted.size(), 1u);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
}

TEST_F(OtherInstancesFixture, TicksPauseWhileAMenuIsTracked) {
  running.add(7, kIdentifier, false);
  start();
  loop.setTrackingMenu(true);
  loop.advance(8.0);
  EXPECT_THAT(launchesCompleted, IsEmpty());
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
  loop.setTrackingMenu(false);
  loop.advance(0.1);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "force 7"));
  EXPECT_EQ(launchesCompleted.size(), 1u);
}

}  // namespace
}  // namespace quorvelle
