// The settings content: which rows show when, the access warning following
// the platform, the command's failures, the updater, launch at login, whose
// box starts from the service's status and is put back to the real state
// after a failure with the opposite call made once, and the hyper shortcut
// recorder driven by the events its local key monitor receives.
#include "settings/settings_view.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using R = SettingsRow;
constexpr ModifierFlags kCtrl = kControlFlag, kAlt = kOptionFlag, kShift = kShiftFlag, kCmd = kCommandFlag;
constexpr std::uint32_t kFlags = kFlagsChangedEvent, kDown = kKeyDownEvent;

struct SettingsViewTest : testing::Test, testing_support::SettingsFixture {
  // Idle, Waiting or Collecting, read from every field that shows it.
  std::string state(const SettingsView& view) const {
    if (!view.isRecording()) return view.recordedFlags() || view.hasEventMonitor() ? "broken" : "Idle";
    if (!view.hasEventMonitor()) return "no monitor";
    return view.recordedFlags() ? "Collecting" : "Waiting";
  }
};

TEST_F(SettingsViewTest, WarningFollowsAccessOnlyWhileShown) {
  SettingsView& view = open();
  int changes = 0;
  Cancellable watch = view.observe([&] { ++changes; });
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
  EXPECT_EQ(changes, 2);
  view.contentDisappeared();
  EXPECT_EQ(loop.liveTimers(), 0u);
}

// Installing and removing are checked as the widget shows them.
TEST_F(SettingsViewTest, CommandFailuresShowAnAlertAndChangeNothing) {
  std::filesystem::rename(helper, helper + ".moved");
  SettingsView& missingHelper = open();
  missingHelper.toggleCommand();
  std::filesystem::create_symlink(helper + ".moved", systemBin + "/quorvelle");
  files.unwritable = {systemBin};
  scripts.outcome = ScriptOutcome{.built = true, .succeeded = false, .errorMessage = "Request dismissed"};
  SettingsView& installed = open();
  installed.toggleCommand();
  EXPECT_FALSE(missingHelper.cliInstalled());
  EXPECT_TRUE(installed.cliInstalled());
  std::vector<std::string> shown;  // with no buttons: the platform's single OK
  for (const Alert& alert : alerts.shown) {
    shown.push_back(alert.messageText + "|" + alert.informativeText + "|" + std::to_string(alert.buttons.size()));
  }
  EXPECT_THAT(shown, ElementsAre("Couldn’t install the quorvelle command|The quorvelle helper is missing from this "
                                 "copy of Quorvelle.|0",
                                 "Couldn’t remove the quorvelle command|Request dismissed|0"));
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(SettingsViewTest, UpdaterButtonAndSwitch) {
  SettingsView& view = open();
  view.checkNow();
  view.checkNow();  // both steps again, even when already in front
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate", "policy regular", "activate"));
  EXPECT_EQ(updater.created->userChecks, 2);
  int changes = 0;
  Cancellable watch = view.observe([&] { ++changes; });
  view.setAutomaticallyChecksForUpdates(false);
  EXPECT_EQ(changes, 0) << "redrawn on a later turn, when the updater answers the new value";
  loop.drain();
  EXPECT_EQ(changes, 1);
  EXPECT_FALSE(view.automaticallyChecksForUpdates());
}

TEST_F(SettingsViewTest, LaunchAtLoginShowsOnlyEnabledAndUndoesARefusedChangeOnce) {
  auto calls = [&] { return std::exchange(loginItems.calls, {}); };
  loginItems.currentStatus = LoginItemStatus::RequiresApproval;
  EXPECT_FALSE(open().launchAtLogin());
  loginItems.currentStatus = LoginItemStatus::Enabled;
  SettingsView& view = open();
  EXPECT_TRUE(view.launchAtLogin());
  EXPECT_TRUE(calls().empty()) << "the initial value calls nothing";
  view.setLaunchAtLoginChecked(false);
  loginItems.statusAfterRegister = LoginItemStatus::RequiresApproval;
  view.setLaunchAtLoginChecked(true);
  EXPECT_TRUE(view.launchAtLogin()) << "not read again after a success";
  EXPECT_THAT(calls(), ElementsAre("unregister", "register"));

  loginItems.currentStatus = LoginItemStatus::NotRegistered;
  loginItems.registerError = "not allowed";
  SettingsView& refused = open();
  refused.setLaunchAtLoginChecked(true);
  EXPECT_FALSE(refused.launchAtLogin());
  EXPECT_THAT(calls(), ElementsAre("register", "unregister"));
  loginItems.unregisterError = "read-only";
  refused.setLaunchAtLoginChecked(true);
  EXPECT_THAT(calls(), ElementsAre("register", "unregister")) << "both fail: no third call";
  EXPECT_FALSE(refused.launchAtLogin());
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: launch at login change failed: not allowed",
                                     "Quorvelle: launch at login change failed: not allowed",
                                     "Quorvelle: launch at login change failed: read-only"));
  loginItems.currentStatus = LoginItemStatus::Enabled;
  SettingsView& registered = open();
  registered.setLaunchAtLoginChecked(false);
  EXPECT_TRUE(registered.launchAtLogin()) << "a refused unregistration turns the box back on";
}

// Real keys, their order and Escape are pressed in the recorder's X server
// test; what X never sends there is driven here.
TEST_F(SettingsViewTest, RecordsHeldModifiersButNotCapsLockOrFnAndCancelOrClosingStoreNothing) {
  // An event the monitor receives, then the state and text it leads to.
  const std::tuple<std::uint32_t, std::uint16_t, ModifierFlags, const char*, const char*> steps[] = {
      {kFlags, 0, kCapsLockFlag, "Waiting", "Hold Modifiers"},
      {kFlags, 0, kFunctionFlag | 0x1, "Waiting", "Hold Modifiers"},
      {kFlags, 0, 0, "Waiting", "Hold Modifiers"},
      {kFlags, 0, kShift | kFunctionFlag | kNumericPadFlag, "Collecting", "⇧"},
      {kDown, 0, kShift, "Collecting", "⇧"},
      {kFlags, 0, kShift | kCtrl, "Collecting", "⌃⇧"},
      {kFlags, 0, kCtrl, "Collecting", "⌃⇧"},
      {kFlags, 0, 0, "Idle", "⌃⇧"}};
  config.setModifiers(kCtrl | kCmd);
  SettingsView& view = open();
  view.toggleRecording();
  EXPECT_EQ(state(view), "Waiting");
  EXPECT_EQ(view.shortcutText(), "Hold Modifiers");
  EXPECT_TRUE(view.shortcutTextIsSecondary());
  EXPECT_EQ(view.recordButtonTitle(), "Cancel");
  for (const auto& [type, keyCode, flags, state, text] : steps) {
    bool recording = view.isRecording();
    EXPECT_EQ(monitor.deliver(type, keyCode, flags), !recording) << "consumed while recording";
    EXPECT_EQ(this->state(view), state) << text;
    EXPECT_EQ(view.shortcutText(), text);
  }
  EXPECT_EQ(config.modifiers(), kCtrl | kShift);
  EXPECT_EQ(view.recordButtonTitle(), "Record Shortcut");
  EXPECT_FALSE(view.shortcutTextIsSecondary());

  // Cancel, closing the window and a refused monitor store nothing.
  view.toggleRecording();
  EXPECT_EQ(monitor.monitors.begin()->second.first, 0x1400u) << "key-down and flags-changed only";
  EXPECT_TRUE(monitor.deliver(kKeyUpEvent, 0)) << "key-ups are not watched";
  monitor.deliver(kFlags, 0, kCtrl | kAlt);
  view.toggleRecording();  // Cancel
  view.toggleRecording();
  monitor.deliver(kFlags, 0, kShift);
  view.contentDisappeared();  // the window closes
  EXPECT_EQ(state(view), "Idle");
  EXPECT_TRUE(monitor.monitors.empty());
  EXPECT_EQ(config.modifiers(), kCtrl | kShift);
  EXPECT_EQ(open().shortcutText(), "⌃⇧") << "a reopened window is idle";

  monitor.refuse = true;  // recording still starts; Cancel ends it
  view.toggleRecording();
  EXPECT_EQ(state(view) + " " + view.shortcutText(), "no monitor Hold Modifiers");
  view.toggleRecording();
  EXPECT_EQ(state(view), "Idle");
}

}  // namespace
}  // namespace quorvelle
