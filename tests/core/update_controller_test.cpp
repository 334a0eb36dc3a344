// The update controller around a simulated updater, and the activation rules
// it shares with the windows. The badge and the policy around an update
// session are tested with the feed updater, "Check Now" from the settings.
#include "update/update_controller.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_desktop.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

struct UpdateFixture : testing::Test {
  sim::MemoryDefaultsStore defaults;
  sim::SimUpdater updater;
  sim::SimApplication application;
  sim::SimRunLoop loop;
  ActivationPolicyRules activation{application, loop};
};

TEST_F(UpdateFixture, RelaunchMarkerLivesForExactlyOneRun) {
  {
    UpdateController first(defaults, updater, application, activation);
    EXPECT_FALSE(first.relaunchedAfterUpdate());
    first.controller();
    updater.created->delegate.updaterWillRelaunchApplication();
    EXPECT_EQ(defaults.values.at("relaunchedForUpdate"), PropertyValue(true));
  }
  UpdateController second(defaults, updater, application, activation);
  EXPECT_TRUE(second.relaunchedAfterUpdate());
  EXPECT_EQ(defaults.values.count("relaunchedForUpdate"), 0u);
  UpdateController third(defaults, updater, application, activation);
  EXPECT_FALSE(third.relaunchedAfterUpdate());
}

TEST_F(UpdateFixture, ControllerIsCreatedLazilyOnce) {
  UpdateController updates(defaults, updater, application, activation);
  EXPECT_EQ(updater.creations, 0);
  updates.controller().startUpdater();
  updates.controller();
  EXPECT_EQ(updater.creations, 1);
  EXPECT_EQ(updater.created->starts, 1);
}

TEST_F(UpdateFixture, AutomaticSettingWritesThroughAndAnnouncesFirst) {
  UpdateController updates(defaults, updater, application, activation);
  std::vector<bool> seenDuringAnnouncement;
  Cancellable will = updates.objectWillChange().subscribe(
      [&] { seenDuringAnnouncement.push_back(updates.automaticallyChecksForUpdates()); });
  updates.setAutomaticallyChecksForUpdates(false);
  EXPECT_THAT(seenDuringAnnouncement, ElementsAre(true));
  EXPECT_FALSE(updates.automaticallyChecksForUpdates());
  EXPECT_FALSE(updater.created->automatic);
}

TEST(ActivationPolicyRules, OnlyVisibleTitledWindowsKeepTheDockIcon) {
  sim::SimApplication application;
  sim::SimRunLoop loop;
  ActivationPolicyRules rules(application, loop);
  rules.bringToFront();
  rules.bringToFront();  // both steps again, even when already in front
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate", "policy regular", "activate"));

  sim::SimWindow& about = application.addWindow("About Quorvelle", kWindowTitled | kWindowClosable);
  application.addWindow("menu", 0);
  rules.scheduleActivationPolicyUpdate();
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);

  about.visible = false;
  rules.scheduleActivationPolicyUpdate();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular) << "never inside the call";
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory);

  application.ownWindows.clear();
  application.setActivationPolicy(ActivationPolicy::Regular);
  rules.scheduleActivationPolicyUpdate();
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory) << "no windows at all";
}

}  // namespace
}  // namespace quorvelle
