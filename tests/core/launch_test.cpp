// How a launch began, and how it replaces older running copies, on virtual time.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <memory>

#include "app/launch_kind.h"
#include "app/other_instances.h"
#include "sim/sim_desktop.h"
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

TEST(LaunchKind, SettingsOpenOnlyAfterAnOrdinaryLaunch) {
  struct Case {
    bool loginItem;
    bool relaunchedAfterUpdate;
    bool showSettings;
  };
  for (Case c : {Case{true, false, false}, Case{true, true, false}, Case{false, true, false},
                 Case{false, false, true}}) {
    SCOPED_TRACE(testing::Message() << c.loginItem << c.relaunchedAfterUpdate);
    sim::MemoryDefaultsStore defaults;
    if (c.relaunchedAfterUpdate) defaults.setBool("relaunchedForUpdate", true);
    sim::SimUpdater updater;
    sim::SimApplication application;
    sim::SimRunLoop loop;
    ActivationPolicyRules activation(application, loop);
    UpdateController updates(defaults, updater, application, activation);
    sim::SimLaunchEvents events;
    events.event = LaunchEventDescriptor{kAEOpenApplication, {}};
    if (c.loginItem) events.event->enumParameters[kAEPropData] = kAELaunchedAsLogInItem;
    EXPECT_EQ(showSettingsAtLaunch(events, updates), c.showSettings);
  }
}

// Stands for the application delegate: the completion holds it weakly.
struct Owner {
  std::vector<double> launchesCompleted;
};

struct OtherInstancesFixture : testing::Test {
  OtherInstancesFixture() {
    bundles.infos[bundles.mainPath] = {{"CFBundleIdentifier", std::string(kIdentifier)}};
    running.currentPid = 100;
  }
  void start() {
    std::weak_ptr<Owner> weak = owner;
    sim::SimRunLoop* clock = &loop;
    instances.terminateOtherInstances([weak, clock] {
      if (auto alive = weak.lock()) alive->launchesCompleted.push_back(clock->now());
    });
  }

  sim::Journal journal;
  sim::SimRunningApplications running{&journal};
  sim::SimBundles bundles;
  sim::SimRunLoop loop;
  OtherInstances instances{running, bundles, loop};
  std::shared_ptr<Owner> owner = std::make_shared<Owner>();
};

TEST_F(OtherInstancesFixture, AloneCompletesAtOnceWithoutATimer) {
  running.add(100, kIdentifier, true);       // this process
  running.add(7, "org.example.Other", true);  // another application
  start();
  EXPECT_THAT(owner->launchesCompleted, ElementsAre(0.0));
  EXPECT_EQ(loop.liveTimers(), 0u);
  EXPECT_THAT(journal.entries(), IsEmpty());
}

TEST_F(OtherInstancesFixture, WithoutABundleIdentifierNothingIsSearched) {
  bundles.infos.clear();
  running.add(7, kIdentifier, true);
  start();
  EXPECT_EQ(owner->launchesCompleted.size(), 1u);
  EXPECT_EQ(running.listings, 0);
  EXPECT_THAT(journal.entries(), IsEmpty());
}

TEST_F(OtherInstancesFixture, CopyThatQuitsContinuesOnTheFirstTick) {
  running.add(7, kIdentifier, true);
  start();
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
  EXPECT_THAT(owner->launchesCompleted, IsEmpty());
  loop.advance(0.09);
  EXPECT_THAT(owner->launchesCompleted, IsEmpty());
  loop.advance(0.02);
  ASSERT_EQ(owner->launchesCompleted.size(), 1u);
  EXPECT_NEAR(owner->launchesCompleted[0], 0.1, 1e-9);
  EXPECT_EQ(loop.liveTimers(), 0u);
  loop.advance(10);
  EXPECT_EQ(owner->launchesCompleted.size(), 1u);
}

TEST_F(OtherInstancesFixture, OnlyTheHangingCopyIsForcedAfterTheDeadline) {
  running.add(7, kIdentifier, true);
  running.add(8, kIdentifier, false);
  running.add(100, kIdentifier, false);
  start();
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "terminate 8"));
  loop.advance(5.0);
  EXPECT_THAT(owner->launchesCompleted, IsEmpty());
  loop.advance(0.2);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "terminate 8", "force 8"));
  ASSERT_EQ(owner->launchesCompleted.size(), 1u);
  // The first tick strictly later than 5.0 seconds after the requests.
  EXPECT_GT(owner->launchesCompleted[0], 5.0);
  EXPECT_LT(owner->launchesCompleted[0], 5.1 + 1e-6);
  EXPECT_EQ(loop.liveTimers(), 0u);
}

TEST_F(OtherInstancesFixture, CopyStartedDuringTheWaitIsLeftAlone) {
  auto older = running.add(7, kIdentifier, false);
  start();
  running.add(9, kIdentifier, false);
  loop.advance(0.3);
  older->terminated = true;  // quits in its own time
  loop.advance(0.1);
  EXPECT_EQ(owner->launchesCompleted.size(), 1u);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
}

TEST_F(OtherInstancesFixture, TicksPauseWhileAMenuIsTracked) {
  running.add(7, kIdentifier, false);
  start();
  loop.setTrackingMenu(true);
  loop.advance(8.0);
  EXPECT_THAT(owner->launchesCompleted, IsEmpty());
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7"));
  loop.setTrackingMenu(false);
  loop.advance(0.1);
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "force 7"));
  EXPECT_EQ(owner->launchesCompleted.size(), 1u);
}

TEST_F(OtherInstancesFixture, OwnerGoneMeansTheCompletionDoesNothing) {
  running.add(7, kIdentifier, false);
  start();
  std::weak_ptr<Owner> watch = owner;
  owner.reset();
  loop.advance(5.2);
  EXPECT_TRUE(watch.expired());
  EXPECT_THAT(journal.entries(), ElementsAre("terminate 7", "force 7"));
  EXPECT_EQ(loop.liveTimers(), 0u);
}

}  // namespace
}  // namespace quorvelle
