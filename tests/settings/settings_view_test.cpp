// The settings content: which rows show when, the access warning following
// the platform, the command's install and remove flows, and the updater.
#include "settings/settings_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using R = SettingsRow;

struct SettingsViewTest : testing::Test, testing_support::SettingsFixture {};

TEST_F(SettingsViewTest, WarningFollowsAccessWhileShownAndTheCommandRowFollowsTheIcon) {
  SettingsView& view = open();
  std::vector<std::vector<SettingsRow>> seen;
  Cancellable watch = view.observe([&] { seen.push_back(view.rows()); });
  EXPECT_THAT(view.rows(), ElementsAre(R::AccessibilityWarning, R::HyperShortcut, R::Enabled, R::LaunchAtLogin,
                                       R::Updates, R::HideMenuBarIcon));
  trust.trusted = true;
  loop.advance(5);
  EXPECT_FALSE(view.accessibilityTrusted()) << "not re-read before the content is shown";
  view.contentAppeared();
  loop.advance(0.99);
  EXPECT_FALSE(view.accessibilityTrusted());
  loop.advance(0.01);
  EXPECT_EQ(view.rows().front(), R::HyperShortcut);
  loop.setTrackingMenu(true);  // ticks go on while a menu is open
  trust.trusted = false;
  loop.advance(1);
  EXPECT_EQ(view.rows().front(), R::AccessibilityWarning);
  ASSERT_EQ(seen.size(), 2u);

  config.setHideMenuBarIcon(true);
  loop.drain();
  EXPECT_EQ(seen.back().back(), R::Command) << "observers see the new value";
  view.contentDisappeared();
  EXPECT_EQ(loop.liveTimers(), 0u);
}

// The note and button texts of each state are checked as the widget shows them.
TEST_F(SettingsViewTest, InstallingAndRemovingTheCommand) {
  SettingsView& view = open();
  view.toggleCommand();
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: installed CLI at " + userBin + "/quorvelle"));
  EXPECT_TRUE(view.cliInstalled());

  // A regular file of that name survives the removal and keeps the command installed.
  std::filesystem::copy_file(helper, systemBin + "/quorvelle");
  view.toggleCommand();
  EXPECT_TRUE(view.cliInstalled());
  std::filesystem::remove(systemBin + "/quorvelle");
  view.toggleCommand();
  EXPECT_FALSE(view.cliInstalled());
  EXPECT_TRUE(alerts.shown.empty());
}

TEST_F(SettingsViewTest, FailuresShowAnAlertAndChangeNothing) {
  std::filesystem::rename(helper, helper + ".moved");
  SettingsView& view = open();
  view.toggleCommand();
  ASSERT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(alerts.shown[0].messageText, "Couldn’t install the quorvelle command");
  EXPECT_EQ(alerts.shown[0].informativeText, "The quorvelle helper is missing from this copy of Quorvelle.");
  EXPECT_TRUE(alerts.shown[0].buttons.empty()) << "the platform's single OK";
  EXPECT_FALSE(view.cliInstalled());

  std::filesystem::create_symlink(helper + ".moved", systemBin + "/quorvelle");
  files.unwritable = {systemBin};
  scripts.outcome = ScriptOutcome{.built = true, .succeeded = false, .errorMessage = "Request dismissed"};
  SettingsView& installed = open();
  installed.toggleCommand();
  ASSERT_EQ(alerts.shown.size(), 2u);
  EXPECT_EQ(alerts.shown[1].messageText, "Couldn’t remove the quorvelle command");
  EXPECT_EQ(alerts.shown[1].informativeText, "Request dismissed");
  EXPECT_TRUE(installed.cliInstalled());
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(SettingsViewTest, UpdaterButtonAndSwitch) {
  SettingsView& view = open();
  view.checkNow();
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate"));
  EXPECT_EQ(updater.created->userChecks, 1);
  int changes = 0;
  Cancellable watch = view.observe([&] { ++changes; });
  view.setAutomaticallyChecksForUpdates(false);
  EXPECT_EQ(changes, 0) << "redrawn on a later turn, when the updater answers the new value";
  loop.drain();
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(view.automaticallyChecksForUpdates());
}

}  // namespace
}  // namespace quorvelle
