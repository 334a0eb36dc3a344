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

TEST_F(LaunchAtLoginTest, OnlyEnabledCountsAndASuccessfulChangeKeepsTheUsersChoice) {
  loginItems.currentStatus = LoginItemStatus::RequiresApproval;
  EXPECT_FALSE(open().launchAtLogin());
  loginItems.currentStatus = LoginItemStatus::Enabled;
  SettingsView& view = open();
  EXPECT_TRUE(view.launchAtLogin());
  EXPECT_TRUE(loginItems.calls.empty()) << "the initial value calls nothing";

  view.setLaunchAtLoginChecked(false);
  loginItems.statusAfterRegister = LoginItemStatus::RequiresApproval;
  view.setLaunchAtLoginChecked(true);
  EXPECT_TRUE(view.launchAtLogin()) << "not read again after a success";
  EXPECT_FALSE(open().launchAtLogin()) << "waiting for approval shows off in a new window";
  EXPECT_THAT(loginItems.calls, ElementsAre("unregister", "register"));
}

TEST_F(LaunchAtLoginTest, ARefusedChangeIsLoggedThenUndoneOnce) {
  loginItems.registerError = "not allowed";
  SettingsView& view = open();
  view.setLaunchAtLoginChecked(true);
  EXPECT_FALSE(view.launchAtLogin());
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister"));
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: launch at login change failed: not allowed"));

  loginItems.calls.clear();
  loginItems.unregisterError = "read-only";
  view.setLaunchAtLoginChecked(true);
  EXPECT_THAT(loginItems.calls, ElementsAre("register", "unregister")) << "both fail: no third call";
  EXPECT_EQ(log.lines.back(), "Quorvelle: launch at login change failed: read-only");
  EXPECT_FALSE(view.launchAtLogin());

  loginItems.currentStatus = LoginItemStatus::Enabled;
  loginItems.registerError.reset();
  SettingsView& registered = open();
  registered.setLaunchAtLoginChecked(false);
  EXPECT_TRUE(registered.launchAtLogin()) << "a refused unregistration turns the box back on";
}

}  // namespace
}  // namespace quorvelle
