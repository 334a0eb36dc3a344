// The application delegate on the simulated platform, on virtual time:
// start-up order, the settings it follows, the access watch, other copies,
// windows and termination.
#include "app/app_delegate.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/journal.h"
#include "sim/sim_content_windows.h"
#include "sim/sim_desktop.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_file_system.h"
#include "sim/sim_launch_events.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_running_applications.h"
#include "sim/sim_services.h"
#include "sim/sim_status_bar.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr char kBundle[] = "/opt/Quorvelle.app";
constexpr char kApply[] =
    "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039,"
    "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}";
constexpr char kClear[] = "{\"UserKeyMapping\":[]}";

struct AppFixture : testing::Test {
  AppFixture() {
    bundles.mainPath = kBundle;
    bundles.infos[kBundle] = {{"CFBundleIdentifier", std::string("com.quorvelle.Quorvelle")},
                              {"CFBundleVersion", std::string("1000")}};
    files.addFile(std::string(kBundle) + "/Contents/MacOS/Quorvelle", "", true);
    trust.trusted = true;
  }

  std::shared_ptr<AppDelegate> launch() {
    delegate = AppDelegate::create(AppServices{
        loop, application, defaults, updater, taps, launcher, hid, log, trust, statusBar, workspace,
        windows, launchEvents, running, bundles, files, alerts,
        ApplicationsFolders{"/opt", "/home/user/Applications", "/home/user/Applications", std::nullopt},
        "/opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap"});
    delegate->setLaunchCompletedHandler([this] { journal.add("launch completed"); });
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  // The user closes a window: the delegate hears of it while it is still on
  // screen; then it leaves.
  // A settings window may be released by the delegate while it closes.
  void close(Window& window) {
    auto* content = dynamic_cast<sim::SimContentWindow*>(&window);
    auto* plain = dynamic_cast<sim::SimWindow*>(&window);
    for (const auto& observer : application.closeObservers) observer(&window);
    if (content && std::find(windows.live.begin(), windows.live.end(), content) != windows.live.end())
      content->visible = false;
    if (plain) plain->visible = false;
  }

  std::vector<std::string> toolTexts() const {
    std::vector<std::string> texts;
    for (const auto& launch : launcher.launches) texts.push_back(launch.arguments.at(2));
    return texts;
  }

  sim::Journal journal;
  sim::SimRunLoop loop;
  sim::SimApplication application;
  sim::MemoryDefaultsStore defaults;
  sim::SimUpdater updater{&journal};
  sim::SimEventTapSystem taps{&journal};
  sim::RecordingProcessLauncher launcher{&journal};
  sim::SimHidSystem hid;
  sim::RecordingLog log;
  sim::SimAccessibilityTrust trust{&journal};
  sim::SimStatusBar statusBar;
  sim::SimWorkspace workspace;
  sim::SimContentWindows windows{application};
  sim::SimLaunchEvents launchEvents;
  sim::SimRunningApplications running{&journal};
  sim::SimBundles bundles;
  sim::SimFileSystem files;
  sim::SimAlerts alerts;
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(AppFixture, OrdinaryLaunchStartsEverythingAndOpensSettingsLast) {
  launch();
  EXPECT_THAT(journal.entries(),
              ElementsAre("updater started", "trust checked", "tap created",
                          "run /opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap", "source created",
                          "source added", "tap enabled", "launch completed"));
  EXPECT_THAT(toolTexts(), ElementsAre(kApply));
  ASSERT_NE(statusBar.item(), nullptr);
  EXPECT_EQ(statusBar.item()->symbol, "capslock.fill");
  EXPECT_FALSE(statusBar.item()->dimmed) << "the icon is refreshed after the engine started";
  ASSERT_NE(windows.find("settings"), nullptr);
  EXPECT_TRUE(windows.find("settings")->visible);
  EXPECT_FALSE(delegate->isPollingForAccess());
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
  EXPECT_TRUE(log.lines.empty());
}

TEST_F(AppFixture, LoginItemAndUpdateRelaunchOpenNoWindow) {
  launchEvents.event = LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}};
  launch();
  EXPECT_EQ(windows.settingsBuilt, 0);
  EXPECT_NE(statusBar.item(), nullptr);
  EXPECT_TRUE(delegate->hyperKey().hasTap());

  launchEvents.event.reset();
  defaults.values["relaunchedForUpdate"] = true;
  AppFixture::launch();
  EXPECT_EQ(windows.settingsBuilt, 0);
  EXPECT_EQ(defaults.values.count("relaunchedForUpdate"), 0u);
}

TEST_F(AppFixture, DisabledAtLaunchPromptsNothingAndStartsNothing) {
  defaults.values["enabled"] = false;
  launch();
  EXPECT_EQ(trust.prompts, 0);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_TRUE(launcher.launches.empty());
  ASSERT_NE(statusBar.item(), nullptr);
  EXPECT_EQ(statusBar.item()->symbol, "capslock");
  EXPECT_FALSE(statusBar.item()->dimmed);
}

TEST_F(AppFixture, UntrustedLaunchPromptsOnceThenPollsEveryTwoSeconds) {
  trust.trusted = false;
  launch();
  EXPECT_EQ(trust.prompts, 1);
  EXPECT_TRUE(delegate->isPollingForAccess());
  EXPECT_TRUE(statusBar.item()->dimmed);
  loop.advance(5.0);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_EQ(trust.prompts, 1) << "polling never prompts";

  trust.trusted = true;  // granted at t = 5.0; the tick at 6.0 finds it
  loop.advance(0.9);
  EXPECT_EQ(taps.tapsCreated, 0);
  loop.advance(0.1);
  EXPECT_TRUE(delegate->hyperKey().hasTap());
  EXPECT_FALSE(delegate->isPollingForAccess());
  EXPECT_EQ(loop.liveTimers(), 0u);
  EXPECT_FALSE(statusBar.item()->dimmed);
}

TEST_F(AppFixture, SwitchingOffWhilePollingStopsThePollAndOnAgainPromptsAgain) {
  trust.trusted = false;
  launch();
  delegate->config().setEnabled(false);
  EXPECT_TRUE(delegate->isPollingForAccess()) << "the change arrives on a later turn";
  loop.drain();
  EXPECT_FALSE(delegate->isPollingForAccess());
  EXPECT_EQ(statusBar.item()->symbol, "capslock");
  trust.trusted = true;
  loop.advance(10);
  EXPECT_EQ(taps.tapsCreated, 0) << "granting starts nothing while switched off";

  trust.trusted = false;
  delegate->config().setEnabled(true);
  loop.drain();
  delegate->config().setEnabled(false);
  delegate->config().setEnabled(true);
  loop.drain();
  EXPECT_EQ(trust.prompts, 3);
  EXPECT_EQ(loop.liveTimers(), 1u) << "exactly one poll";
}

TEST_F(AppFixture, PollTickReadsEnabledAtTheTick) {
  trust.trusted = false;
  launch();
  trust.trusted = true;
  // Switched off, with the change still queued for the delegate when a tick comes.
  delegate->config().setEnabled(false);
  sim::SimRunLoop elsewhere;
  std::shared_ptr<Timer> firing = elsewhere.scheduleTimer(2.0, true, RunLoopMode::Default, [](Timer&) {});
  delegate->accessibilityPollTick(*firing);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_FALSE(firing->isValid());
  EXPECT_FALSE(delegate->isPollingForAccess());
}

TEST_F(AppFixture, TapRefusedLogsOnlyOnThePromptPath) {
  taps.allowTaps = false;
  launch();
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to create event tap"));
  EXPECT_TRUE(statusBar.item()->dimmed);
  EXPECT_FALSE(delegate->isPollingForAccess()) << "no retry";

  trust.trusted = false;
  delegate->config().setEnabled(false);
  delegate->config().setEnabled(true);
  loop.drain();
  trust.trusted = true;
  loop.advance(2.0);
  EXPECT_EQ(log.lines.size(), 1u) << "a failed start after a poll is not logged";
}

TEST_F(AppFixture, SettingsReachTheEngineAndTheIcon) {
  launch();
  // The modifiers handler is synchronous: the very next key carries the new set.
  taps.physicallyDown.insert(sim::SimEventTapSystem::kF18);
  taps.tap()->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);
  delegate->config().setModifiers(kShiftFlag | kCommandFlag);
  EXPECT_EQ(taps.tap()->deliver(kKeyDownEvent, 0)->flags, kShiftFlag | kCommandFlag);

  delegate->config().setEnabled(false);
  EXPECT_TRUE(delegate->hyperKey().hasTap()) << "enabled reaches the delegate on a later turn";
  loop.drain();
  EXPECT_FALSE(delegate->hyperKey().hasTap());
  EXPECT_THAT(toolTexts(), ElementsAre(kApply, kClear));
  EXPECT_EQ(statusBar.item()->symbol, "capslock");

  delegate->config().setHideMenuBarIcon(true);
  EXPECT_EQ(statusBar.item(), nullptr);
  delegate->config().setHideMenuBarIcon(false);
  ASSERT_NE(statusBar.item(), nullptr);
  EXPECT_EQ(statusBar.itemsAdded, 2);
  EXPECT_EQ(statusBar.item()->symbol, "capslock");
}

TEST_F(AppFixture, InitialValuesOfEnabledAndHideCallNoHandler) {
  launch();
  loop.drain();
  EXPECT_EQ(statusBar.itemsAdded, 1);
  EXPECT_EQ(taps.tapsCreated, 1);
  EXPECT_EQ(trust.prompts, 0);
}

TEST_F(AppFixture, OlderCopiesQuitBeforeStartUpGoesOn) {
  running.add(41, "com.quorvelle.Quorvelle", /*quitsWhenAsked=*/false);
  running.add(42, "com.quorvelle.Quorvelle", /*quitsWhenAsked=*/true);
  running.add(100, "com.quorvelle.Quorvelle", true);  // this process
  launch();
  EXPECT_EQ(statusBar.item(), nullptr);
  EXPECT_EQ(taps.tapsCreated, 0) << "the older copy still holds the keyboard";
  loop.advance(5.0);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_THAT(journal.entries(), testing::Not(testing::Contains("launch completed")));
  loop.advance(0.1);
  EXPECT_EQ(journal.entries().back(), "launch completed");
  EXPECT_THAT(journal.entries(), testing::IsSupersetOf({"terminate 41", "terminate 42", "force 41"}));
  EXPECT_THAT(journal.entries(), testing::Not(testing::Contains("force 42")));
  EXPECT_NE(statusBar.item(), nullptr);
  EXPECT_TRUE(delegate->hyperKey().hasTap());
}

TEST_F(AppFixture, ANewerCopyRunningMakesThisOneQuitTouchingNoOne) {
  running.add(41, "com.quorvelle.Quorvelle", /*quitsWhenAsked=*/true);
  running.add(120, "com.quorvelle.Quorvelle", true, /*newer=*/true);
  launch();
  loop.advance(10);
  EXPECT_EQ(application.terminations, 1);
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: a newer copy is running (process 120); this one quits"));
  EXPECT_THAT(journal.entries(), IsEmpty()) << "the newer copy ends the older ones";
  EXPECT_EQ(statusBar.itemsAdded, 0);
}

TEST_F(AppFixture, HandingOverToTheInstalledCopySetsNothingUp) {
  bundles.mainPath = "/home/user/Downloads/Quorvelle.app";
  bundles.infos[bundles.mainPath] = bundles.infos[kBundle];
  files.addFile(bundles.mainPath + "/Contents/MacOS/Quorvelle", "", true);
  const std::string installed = "/home/user/Applications/Quorvelle.app";
  bundles.infos[installed] = bundles.infos[kBundle];
  files.addFile(installed + "/Contents/MacOS/Quorvelle", "", true);
  launch();
  EXPECT_THAT(workspace.openedApplications, ElementsAre(installed));
  loop.advance(10);
  EXPECT_EQ(statusBar.itemsAdded, 0);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_EQ(windows.settingsBuilt, 0);
  EXPECT_EQ(running.listings, 0);
  EXPECT_THAT(journal.entries(), testing::Not(testing::Contains("launch completed")));
  workspace.completeOpen();
  loop.drain();
  EXPECT_EQ(application.terminations, 1);

  // The installed copy cannot be opened: this one goes on, and says why.
  launch();
  workspace.completeOpen("Permission denied");
  loop.drain();
  EXPECT_EQ(application.terminations, 1);
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to open " + installed + ": Permission denied"));
  EXPECT_EQ(journal.entries().back(), "launch completed");
  EXPECT_EQ(statusBar.itemsAdded, 1);
}

TEST_F(AppFixture, SettingsWindowIsBuiltOnceSizedToContentAndRebuiltAfterClosing) {
  launch();
  sim::SimContentWindow* first = windows.find("settings");
  ASSERT_NE(first, nullptr);
  EXPECT_THAT(first->steps, ElementsAre("title Quorvelle Preferences", "style 15", "min size", "size", "center",
                                        "kept when closed", "show", "key and front"));
  EXPECT_EQ(first->size.width, 420);
  EXPECT_EQ(first->size.height, 377);
  EXPECT_EQ(first->minSize.height, 377);

  EXPECT_FALSE(delegate->applicationShouldHandleReopen(true));
  EXPECT_EQ(windows.settingsBuilt, 1) << "reopen brings the same window forward";

  close(*first);
  EXPECT_EQ(windows.find("settings"), nullptr) << "the controller is dropped as the window closes";
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory);

  windows.settingsHeight = 401;
  delegate->statusItem()->openPreferences();
  ASSERT_NE(windows.find("settings"), nullptr);
  EXPECT_EQ(windows.settingsBuilt, 2);
  EXPECT_EQ(windows.find("settings")->size.height, 401);
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
}

TEST_F(AppFixture, AboutWindowIsKeptAndAnotherTitledWindowKeepsTheDockIcon) {
  launch();
  delegate->showAboutWindow();
  sim::SimContentWindow* about = windows.find("about");
  ASSERT_NE(about, nullptr);
  EXPECT_THAT(about->steps, ElementsAre("title About Quorvelle", "style 3", "size", "kept when closed", "center",
                                        "show", "key and front"));
  EXPECT_EQ(about->size.width, 300);

  close(*windows.find("settings"));
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular) << "About is still on screen";

  close(*about);
  EXPECT_EQ(windows.find("about"), about) << "closing only hides it";
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory);
  delegate->statusItem()->openAbout();
  EXPECT_EQ(windows.aboutBuilt, 1);
  EXPECT_TRUE(about->visible);

  // Any other window closing schedules the check as well.
  sim::SimWindow& other = application.addWindow("Software Update", kWindowTitled);
  close(*about);
  close(other);
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory);
}

TEST_F(AppFixture, AVisibleSettingsSceneWindowIsBroughtForwardInstead) {
  launchEvents.event = LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}};
  launch();
  sim::SimWindow& scene = application.addWindow("Quorvelle Settings", kWindowTitled);
  delegate->showSettings();
  EXPECT_EQ(scene.timesBroughtFront, 1);
  EXPECT_EQ(windows.settingsBuilt, 0);
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
}

TEST_F(AppFixture, ApplicationCommandsShowAboutAndCheckForUpdatesInFront) {
  launchEvents.event = LaunchEventDescriptor{kAEOpenApplication, {{kAEPropData, kAELaunchedAsLogInItem}}};
  launch();
  sim::SimMenu commands;
  delegate->addApplicationCommands(commands);
  EXPECT_THAT(commands.open(), ElementsAre("About Quorvelle", "Check for Updates…"));

  ASSERT_TRUE(commands.choose("Check for Updates…"));
  EXPECT_EQ(updater.created->userChecks, 1);
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate"));
  ASSERT_TRUE(commands.choose("About Quorvelle"));
  ASSERT_NE(windows.find("about"), nullptr);
  EXPECT_TRUE(windows.find("about")->visible);

  delegate.reset();
  EXPECT_TRUE(commands.choose("Check for Updates…")) << "harmless once the delegate is gone";
  EXPECT_TRUE(commands.choose("About Quorvelle"));
}

TEST_F(AppFixture, TerminationStopsTheEngineAndClearsTheMapping) {
  launch();
  delegate->statusItem()->quit();
  EXPECT_EQ(application.terminations, 1);
  delegate->applicationWillTerminate();
  EXPECT_FALSE(delegate->hyperKey().hasTap());
  EXPECT_THAT(toolTexts(), ElementsAre(kApply, kClear));

  // Never started: terminating runs no tool.
  launcher.launches.clear();
  defaults.values["enabled"] = false;
  launch();
  delegate->applicationWillTerminate();
  EXPECT_THAT(toolTexts(), IsEmpty());
}

TEST_F(AppFixture, QuittingWhileStartUpWaitsStartsNothing) {
  // Quit from under the move prompt: the prompt's loop ends unanswered.
  bundles.mainPath = "/home/user/Downloads/Quorvelle.app";
  bundles.infos[bundles.mainPath] = bundles.infos[kBundle];
  alerts.answers.push_back({kAlertFirstButtonReturn + 2, false});
  alerts.onShow = [this] { delegate->applicationWillTerminate(); };
  launch();
  EXPECT_EQ(alerts.shown.size(), 1u);
  EXPECT_EQ(statusBar.itemsAdded, 0);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_THAT(journal.entries(), testing::Not(testing::Contains("launch completed")));

  // Quit while waiting for an older copy.
  alerts.onShow = nullptr;
  bundles.mainPath = kBundle;
  running.add(42, "com.quorvelle.Quorvelle", /*quitsWhenAsked=*/true);
  launch();
  delegate->applicationWillTerminate();
  loop.advance(1.0);
  EXPECT_EQ(statusBar.itemsAdded, 0);
  EXPECT_EQ(taps.tapsCreated, 0);
}

TEST_F(AppFixture, TimersAndWaitsDoNothingOnceTheDelegateIsGone) {
  trust.trusted = false;
  launch();
  delegate.reset();  // the poll timer lives on in the run loop
  trust.trusted = true;
  loop.advance(4.0);
  EXPECT_EQ(taps.tapsCreated, 0);

  running.add(42, "com.quorvelle.Quorvelle", /*quitsWhenAsked=*/true);
  launch();
  EXPECT_EQ(statusBar.itemsAdded, 1) << "only the first delegate got this far";
  delegate.reset();
  loop.advance(1.0);
  EXPECT_EQ(statusBar.itemsAdded, 1) << "the wait ends without a delegate to complete";
}

}  // namespace
}  // namespace quorvelle
