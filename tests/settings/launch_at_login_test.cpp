// Launch at login: the checkbox starts from the service's status, each change
// calls the service, and a failure puts the box back to the real state, which
// runs the opposite call once.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

struct LaunchAtLoginTest : testing::Test, testing_support::SettingsFixture {};

TEST_F(LaunchAtLoginTest, OnlyEnabledCountsAndTheInitialValueCallsNothing) {
  for (auto [status, on] : {std::pair{LoginItemStatus::NotRegistered, false}, {LoginItemStatus::Enabled, true},
                            {LoginItemStatus::RequiresApproval, false}, {LoginItemStatus::NotFound, false}}) {
    loginItems.currentStatus = status;
    EXPECT_EQ(open().launchAtLogin(), on) << static_cast<int>(status);
  }
  EXPECT_TRUE(loginItems.calls.empty());
}

TEST_F(LaunchAtLoginTest, ASuccessfulChangeKeepsTheUsersChoiceUntilReopened) {
  loginItems.statusAfterRegister = LoginItemStatus::RequiresApproval;
  SettingsView& view = open();
  view.setLaunchAtLoginChecked(true);
  EXPECT_TRUE(view.launchAtLogin());
  EXPECT_FALSE(open().launchAtLogin()) << "waiting for approval shows off in a new window";

  loginItems.currentStatus = LoginItemStatus::Enabled;
  SettingsView& registered = open();
  registered.setLaunchAtLoginChecked(false);
  EXPECT_FALSE(registered.launchAtLogin());
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister"));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(LaunchAtLoginTest, ARefusedRegistrationIsLoggedThenUndoneOnce) {
  loginItems.registerError = "not allowed";
  SettingsView& view = open();
  int changes = 0;
  Cancellable watch = view.observe([&] { ++changes; });
  view.setLaunchAtLoginChecked(true);
  EXPECT_FALSE(view.launchAtLogin());
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister"));
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: launch at login change failed: not allowed"));
  EXPECT_EQ(changes, 2) << "on, then back off";

  loginItems.calls.clear();
  loginItems.unregisterError = "read-only";
  view.setLaunchAtLoginChecked(true);
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister")) << "no third call";
  EXPECT_EQ(log.lines.size(), 3u);
  EXPECT_EQ(log.lines[2], "Quorvelle: launch at login change failed: read-only");
  EXPECT_FALSE(view.launchAtLogin());
}

TEST_F(LaunchAtLoginTest, ARefusedUnregistrationTurnsTheBoxBackOn) {
  loginItems.currentStatus = LoginItemStatus::Enabled;
  loginItems.unregisterError = "busy";
  SettingsView& view = open();
  view.setLaunchAtLoginChecked(false);
  EXPECT_TRUE(view.launchAtLogin());
  EXPECT_THAT(loginItems.calls, ElementsAre("unregister", "register"));
  EXPECT_EQ(log.lines.size(), 1u);
}

}  // namespace
}  // namespace quorvelle
