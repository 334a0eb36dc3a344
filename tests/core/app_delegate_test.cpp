// The application delegate on virtual time with the real windows, tray icon
// and menu (Qt, offscreen) and real files; simulated are the engine's tap,
// access, other running copies, the workspace and the updater. Start-up
// order, the settings it follows, the access watch, other copies, windows,
// the tray menu and termination.
#include "app/app_delegate.h"

#include <QApplication>
#include <QCheckBox>
#include <QContextMenuEvent>
#include <QMenu>
#include <QMessageBox>
#include <QPointer>
#include <QPushButton>
#include <QScreen>
#include <QSystemTrayIcon>
#include <QTest>
#include <QTimer>
#include <QToolButton>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/session/command_line_launch_events.h"
#include "linux/session/launch_marker.h"
#include "linux/temp_dir.h"
#include "linux/test_files.h"
#include "sim/sim_accessibility.h"
#include "sim/sim_administrator_scripts.h"
#include "sim/sim_alerts.h"
#include "sim/sim_event_tap.h"
#include "sim/sim_local_key_monitor.h"
#include "sim/sim_login_items.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_running_applications.h"
#include "sim/sim_services.h"
#include "sim/sim_updater.h"
#include "sim/sim_workspace.h"
#include "ui/qt_application.h"
#include "ui/qt_content_windows.h"
#include "ui/qt_status_bar.h"
#include "ui/settings_widget.h"
#include "ui/status_icon.h"
#include "ui/tray_symbols.h"

namespace quorvelle {
namespace {

using testing::AllOf;
using testing::Contains;
using testing::ElementsAre;
using testing::IsEmpty;
using testing::Not;

constexpr char kApply[] =
    "{\"UserKeyMapping\":[{\"HIDKeyboardModifierMappingSrc\":0x700000039,"
    "\"HIDKeyboardModifierMappingDst\":0x70000006D}]}";
constexpr char kClear[] = "{\"UserKeyMapping\":[]}";
constexpr char kId[] = "com.quorvelle.Quorvelle";
// The tray menu of a running engine, as drawn.
const std::vector<std::string> kMenu = {"✓ Enabled", "-", "Preferences...", "-", "About...", "Check for Updates...",
                                        "-", "Quit Quorvelle"};

QWidget* widgetOf(ContentWindow* window) {
  auto* qt = dynamic_cast<QtContentWindow*>(window);
  return qt ? qt->widget() : nullptr;
}

// Inside the window at no less than the height it needs: not cut off or squeezed.
bool fitsInside(QWidget* part, QWidget* window) {
  return window->rect().contains(QRect(part->mapTo(window, QPoint(0, 0)), part->size())) &&
         part->height() >= part->minimumSizeHint().height();
}

struct AppFixture : testing::Test {
  AppFixture() {
    bundles.mainPath = root + "opt/Quorvelle.app";
    bundles.infos[bundles.mainPath] = {{"CFBundleIdentifier", std::string(kId)}, {"CFBundleVersion", std::string("1000")}};
    trust.trusted = true;
  }
  ~AppFixture() override {
    delegate.reset();
    QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  }

  std::shared_ptr<AppDelegate> launch(bool atLogin = false) {
    launchEvents = CommandLineLaunchEvents(atLogin ? std::vector<std::string>{"Quorvelle", kLoginItemLaunchArgument}
                                                   : std::vector<std::string>{"Quorvelle"});
    delegate = AppDelegate::create(AppServices{
        loop, application, defaults, updater, taps, launcher, hid, log, trust, statusBar, workspace, windows,
        launchEvents, running, bundles, files, alerts,
        ApplicationsFolders{root + "opt", root + "home/Applications", root + "home/Applications", std::nullopt},
        "/opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap"});
    delegate->setLaunchCompletedHandler([this] { journal.push_back("launch completed"); });
    delegate->addApplicationCommands(windows.applicationMenu());
    delegate->applicationDidFinishLaunching();
    return delegate;
  }

  std::vector<std::string> toolTexts() const {
    std::vector<std::string> texts;
    for (const auto& launch : launcher.launches) texts.push_back(launch.arguments.at(2));
    return texts;
  }
  // The tray icon as drawn: "off", "on", "dimmed", or "none" without an item.
  std::string look() const {
    if (!statusBar.currentItem()) return "none";
    if (!statusBar.currentItem()->trayIcon()->isVisible()) return "hidden";
    const QImage shown = statusBar.currentItem()->icon().pixmap(22).toImage();
    for (auto [name, symbol, dimmed] : {std::tuple{"off", "capslock", false}, {"on", "capslock.fill", false},
                                        {"dimmed", "capslock.fill", true}}) {
      if (shown == renderStatusIcon(statusBar.symbol(symbol), dimmed, 22).toImage()) return name;
    }
    return "unknown";
  }
  QMenu* trayMenu() const { return statusBar.currentItem()->trayIcon()->contextMenu(); }
  // The tray menu's entries as drawn: "-" for a separator, "✓ " before a
  // ticked one, hidden ones left out; opened first as a tray host does, or as
  // a host reads it without opening it, once the change has been taken in.
  std::vector<std::string> openMenu(bool open = true) {
    if (open) emit trayMenu()->aboutToShow();
    else QApplication::processEvents();
    std::vector<std::string> drawn;
    for (QAction* action : trayMenu()->actions()) {
      if (!action->isVisible()) continue;
      drawn.push_back(action->isSeparator() ? "-" : (action->isChecked() ? "✓ " : "") + action->text().toStdString());
    }
    return drawn;
  }
  bool choose(const std::string& title) {
    for (QAction* action : trayMenu()->actions()) {
      if (action->isVisible() && action->text().toStdString() == title) {
        action->trigger();
        return true;
      }
    }
    return false;
  }
  // The check that follows every close runs on a later turn.
  ActivationPolicy policyAfterCloses() {
    loop.drain();
    return application.activationPolicy();
  }

  testing_support::TempDir temp;
  std::string root = temp.path() + "/";
  sim::Journal journal;
  sim::SimRunLoop loop;
  sim::RecordingLog log;
  QtApplication application{log};
  sim::MemoryDefaultsStore defaults;
  sim::SimUpdater updater{&journal};
  sim::SimEventTapSystem taps{&journal};
  sim::RecordingProcessLauncher launcher{&journal};
  sim::SimHidSystem hid{&journal};
  sim::SimAccessibilityTrust trust{&journal};
  QtStatusBar statusBar{traySymbols(Qt::black), Qt::black};
  sim::SimWorkspace workspace;
  CommandLineLaunchEvents launchEvents{std::vector<std::string>{"Quorvelle"}};
  sim::SimRunningApplications running{&journal};
  sim::SimBundles bundles;
  testing_support::TestFiles files{{root + "home", root + "home/Trash", {root + "home/Applications"}}};
  sim::SimAlerts alerts;
  sim::SimLocalKeyMonitor keyMonitor;
  sim::SimLoginItems loginItems;
  sim::SimAdministratorScripts scripts;
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{root + "bin"}, root + "bin/quorvelle"}};
  QtContentWindows windows{application, SettingsServices{loop, trust, workspace, alerts, keyMonitor, loginItems, log},
                           tool, bundles};
  std::shared_ptr<AppDelegate> delegate;
};

TEST_F(AppFixture, OrdinaryLaunchStartsEverythingAndOpensTheSettingsWindowLastSizedToItsContent) {
  launch();
  EXPECT_THAT(journal, ElementsAre("updater started", "trust checked", "tap created",
                                   "run /opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap", "caps lock off",
                                   "source created", "source added", "tap enabled", "launch completed"));
  EXPECT_THAT(launcher.launches.at(0).arguments, ElementsAre("property", "--set", kApply));
  EXPECT_EQ(look(), "on") << "the icon is refreshed after the engine started";
  EXPECT_EQ(statusBar.currentItem()->trayIcon()->toolTip(), "Quorvelle");
  EXPECT_FALSE(delegate->isPollingForAccess());
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
  EXPECT_TRUE(log.lines.empty());

  QWidget* window = widgetOf(delegate->settingsWindow());
  ASSERT_TRUE(window && window->isVisible());
  EXPECT_EQ(delegate->settingsWindow()->styleMask(), 15u);
  EXPECT_EQ(window->minimumSize(), QSize(420, window->sizeHint().height()));
  EXPECT_EQ(window->size(), window->minimumSize());
  EXPECT_LE((window->geometry().center() - window->screen()->availableGeometry().center()).manhattanLength(), 3);
  auto* content = window->findChild<SettingsWidget*>();
  for (SettingsRow row : {SettingsRow::HyperShortcut, SettingsRow::Enabled, SettingsRow::HideMenuBarIcon}) {
    EXPECT_TRUE(fitsInside(content->rowWidget(row), window)) << static_cast<int>(row);
  }
  ContentWindow* first = delegate->settingsWindow();
  EXPECT_FALSE(delegate->applicationShouldHandleReopen(true));
  EXPECT_EQ(delegate->settingsWindow(), first) << "reopen brings the same window forward";

  // Hiding the tray icon takes the item away, adds the command row below the
  // rest, and a new item comes back when shown again.
  QtStatusItem* shown = statusBar.currentItem();
  delegate->config().setHideMenuBarIcon(false);
  EXPECT_EQ(statusBar.currentItem(), shown) << "one item at a time";
  delegate->config().setHideMenuBarIcon(true);
  EXPECT_EQ(look(), "none");
  loop.drain();
  QApplication::processEvents();
  EXPECT_TRUE(fitsInside(content->rowWidget(SettingsRow::Command), window)) << window->height();
  delegate->config().setHideMenuBarIcon(false);
  EXPECT_EQ(look(), "on");
}

TEST_F(AppFixture, LoginItemAndUpdateRelaunchOpenNoWindowAndTheSettingsComeFromTheTray) {
  launch(/*atLogin=*/true);
  EXPECT_EQ(delegate->settingsWindow(), nullptr);
  EXPECT_TRUE(delegate->hyperKey().hasTap());
  // Scene windows of the same title come forward instead of a new one.
  QWidget scene;
  scene.setWindowTitle("Quorvelle Settings");
  scene.show();
  delegate->showSettings();
  EXPECT_EQ(delegate->settingsWindow(), nullptr);
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
  scene.hide();

  EXPECT_EQ(openMenu(), kMenu);
  ASSERT_TRUE(choose("Preferences..."));
  ASSERT_NE(delegate->settingsWindow(), nullptr);
  ASSERT_TRUE(choose("About..."));
  EXPECT_TRUE(delegate->aboutWindow()->isVisible());
  ASSERT_TRUE(choose("Check for Updates..."));
  EXPECT_EQ(updater.created->userChecks, 1);

  defaults.values["relaunchedForUpdate"] = true;
  launch();
  EXPECT_EQ(delegate->settingsWindow(), nullptr);
  EXPECT_EQ(defaults.values.count("relaunchedForUpdate"), 0u);
}

TEST_F(AppFixture, DisabledAtLaunchStartsNothingAndWithoutAnIdentifierNoCopyIsEnded) {
  defaults.values["enabled"] = false;
  // Without a bundle identifier no copy can be told apart: none is ended.
  bundles.infos[bundles.mainPath].erase("CFBundleIdentifier");
  running.add(41, kId, /*quitsWhenAsked=*/true);
  launch();
  EXPECT_THAT(journal, ElementsAre("updater started", "launch completed"));
  EXPECT_EQ(look(), "off");
  delegate->applicationWillTerminate();
  EXPECT_THAT(toolTexts(), IsEmpty()) << "never started: terminating runs no tool";
}

TEST_F(AppFixture, UntrustedLaunchPromptsOnceWarnsInTheTrayAndPollsEveryTwoSeconds) {
  trust.trusted = false;
  launch(/*atLogin=*/true);  // no settings window, whose own timer would count
  EXPECT_EQ(trust.prompts, 1);
  EXPECT_TRUE(delegate->isPollingForAccess());
  EXPECT_EQ(look(), "dimmed");
  std::vector<std::string> warned = {"⚠︎ Grant Input Access...", "-"};
  warned.insert(warned.end(), kMenu.begin(), kMenu.end());
  EXPECT_EQ(openMenu(), warned);
  ASSERT_TRUE(choose("⚠︎ Grant Input Access..."));
  EXPECT_THAT(workspace.openedURLs, ElementsAre(kAccessibilitySettingsURL));
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
  EXPECT_EQ(look(), "on");
  EXPECT_EQ(openMenu(/*open=*/false).front(), "✓ Enabled") << "up to date before any host asks";
  emit statusBar.currentItem()->trayIcon()->activated(QSystemTrayIcon::Trigger);
  EXPECT_TRUE(QTest::qWaitFor([&] { return trayMenu()->isVisible(); })) << "a click on the icon opens the menu";
  trayMenu()->hide();
}

TEST_F(AppFixture, SwitchingOffWhilePollingStopsThePollAndOnAgainPromptsAgain) {
  trust.trusted = false;
  launch(/*atLogin=*/true);
  ASSERT_TRUE(choose("Enabled"));
  EXPECT_FALSE(delegate->config().enabled());
  EXPECT_TRUE(delegate->isPollingForAccess()) << "the change arrives on a later turn";
  EXPECT_EQ(look(), "dimmed") << "the icon waits for the delegate";
  loop.drain();
  EXPECT_FALSE(delegate->isPollingForAccess());
  EXPECT_EQ(look(), "off");
  EXPECT_EQ(openMenu().front(), "Enabled");
  trust.trusted = true;
  loop.advance(10);
  EXPECT_EQ(taps.tapsCreated, 0) << "granting starts nothing while switched off";

  trust.trusted = false;
  ASSERT_TRUE(choose("Enabled"));
  EXPECT_TRUE(delegate->config().enabled());
  loop.drain();
  delegate->config().setEnabled(false);
  delegate->config().setEnabled(true);
  loop.drain();
  EXPECT_EQ(trust.prompts, 3);
  EXPECT_EQ(loop.liveTimers(), 1u) << "exactly one poll";

  // Switched off with the change still queued when a tick comes.
  trust.trusted = true;
  delegate->config().setEnabled(false);
  sim::SimRunLoop elsewhere;
  std::shared_ptr<Timer> firing = elsewhere.scheduleTimer(2.0, true, RunLoopMode::Default, [](Timer&) {});
  delegate->accessibilityPollTick(*firing);
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_FALSE(firing->isValid());
  EXPECT_FALSE(delegate->isPollingForAccess());
}

TEST_F(AppFixture, TapRefusedLogsOnlyOnThePromptPathAndAToolThatCannotRunIsLogged) {
  taps.allowTaps = false;
  launch();
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to create event tap"));
  EXPECT_THAT(toolTexts(), IsEmpty()) << "no mapping without a tap";
  EXPECT_EQ(look(), "dimmed");
  EXPECT_FALSE(delegate->isPollingForAccess()) << "no retry";

  trust.trusted = false;
  delegate->config().setEnabled(false);
  delegate->config().setEnabled(true);
  loop.drain();
  trust.trusted = true;
  loop.advance(2.0);
  EXPECT_EQ(log.lines.size(), 1u) << "a failed start after a poll is not logged";

  // Without the mapping tool the engine carries on: a real F18 still acts as hyper.
  taps.allowTaps = true;
  launcher.launchError = "No such file or directory";
  delegate->config().setEnabled(false);
  loop.drain();
  delegate->config().setEnabled(true);
  loop.drain();
  EXPECT_EQ(log.lines.at(1), "Quorvelle: failed to run hidutil: No such file or directory");
  EXPECT_THAT(journal, Contains("caps lock off"));
  EXPECT_TRUE(delegate->hyperKey().hasTap());
  taps.physicallyDown.insert(sim::SimEventTapSystem::kF18);
  taps.tap()->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);
  EXPECT_EQ(taps.tap()->deliver(kKeyDownEvent, 0)->flags, kDefaultHyperFlags);
}

TEST_F(AppFixture, SettingsReachTheEngineATapTurnedOffComesBackAndTheMappingGoesAtTermination) {
  launch();
  loop.drain();
  EXPECT_EQ(taps.tapsCreated, 1) << "the initial values call no handler";
  EXPECT_EQ(trust.prompts, 0);
  // The modifiers handler is synchronous: the very next key carries the new
  // set, added to the flags the key already had.
  sim::SimEventTap* tap = taps.tap();
  taps.physicallyDown.insert(sim::SimEventTapSystem::kF18);
  EXPECT_FALSE(tap->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18)) << "F18 itself is swallowed";
  delegate->config().setModifiers(kShiftFlag | kCommandFlag);
  EXPECT_EQ(tap->deliver(kKeyDownEvent, 0, kControlFlag)->flags, kShiftFlag | kCommandFlag | kControlFlag);
  // A tap the system turned off comes back on, the hold forgotten.
  for (std::uint32_t type : {kTapDisabledByTimeout, kTapDisabledByUserInput}) {
    tap->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);
    tap->setEnabled(false);
    KeyEvent event{type, 0, 0};
    EXPECT_EQ(HyperKeyManager::tapCallback(type, &event, &delegate->hyperKey()), &event);
    EXPECT_TRUE(tap->enabled());
    EXPECT_EQ(tap->deliver(kKeyDownEvent, 0)->flags, 0u);
  }
  tap->deliver(kKeyDownEvent, sim::SimEventTapSystem::kF18);

  journal.clear();
  delegate->config().setEnabled(true);  // already on: a second start does nothing
  delegate->config().setEnabled(false);
  EXPECT_TRUE(delegate->hyperKey().hasTap()) << "enabled reaches the delegate on a later turn";
  loop.drain();
  EXPECT_THAT(journal, ElementsAre("trust checked", "tap disabled", "source removed", "tap released",
                                             "run /opt/Quorvelle.app/Contents/Helpers/quorvelle-keymap"));
  EXPECT_THAT(toolTexts(), ElementsAre(kApply, kClear));

  delegate->config().setEnabled(true);
  loop.drain();
  EXPECT_EQ(taps.tap()->deliver(kKeyDownEvent, 0)->flags, 0u) << "a stop forgets the hold";
  delegate->applicationWillTerminate();
  delegate->applicationWillTerminate();
  EXPECT_FALSE(delegate->hyperKey().hasTap());
  EXPECT_THAT(toolTexts(), ElementsAre(kApply, kClear, kApply, kClear));
}

TEST_F(AppFixture, OlderCopiesQuitBeforeStartUpGoesOnAndANewerOneMakesThisOneQuit) {
  // A copy that quits when asked: start-up goes on at the first tick, once;
  // ticks wait while a menu is tracked.
  running.add(40, kId, /*quitsWhenAsked=*/true);
  launch();
  loop.setTrackingMenu(true);
  loop.advance(1.0);
  loop.setTrackingMenu(false);
  EXPECT_THAT(journal, ElementsAre("terminate 40"));
  loop.advance(0.1);
  EXPECT_EQ(journal.back(), "launch completed");
  loop.advance(1.0);
  EXPECT_THAT(journal, Contains("launch completed").Times(1));

  // One that does not quit is forced to at the deadline; a copy started
  // meanwhile is left alone.
  delegate.reset();
  journal.clear();
  running.add(41, kId, /*quitsWhenAsked=*/false);
  running.add(42, kId, /*quitsWhenAsked=*/true);
  running.add(100, kId, true);  // this process
  launch();
  running.add(44, kId, false);
  EXPECT_EQ(look(), "none");
  loop.advance(5.0);
  EXPECT_FALSE(delegate->hyperKey().hasTap()) << "the older copy still holds the keyboard";
  EXPECT_THAT(journal, Not(Contains("launch completed")));
  loop.advance(0.1);
  EXPECT_EQ(journal.back(), "launch completed");
  EXPECT_THAT(journal, testing::IsSupersetOf({"terminate 41", "terminate 42", "force 41"}));
  EXPECT_THAT(journal,
              AllOf(Not(Contains("force 42")), Not(Contains("terminate 100")), Not(Contains("terminate 44"))));
  EXPECT_TRUE(delegate->hyperKey().hasTap());
  EXPECT_EQ(look(), "on");

  delegate.reset();
  journal.clear();
  running.add(43, kId, /*quitsWhenAsked=*/true);
  running.add(120, kId, true, /*newer=*/true);
  QTimer::singleShot(0, [&] {  // in the event loop, which quitting ends
    launch();
    loop.advance(10);
    if (!application.isTerminating()) QCoreApplication::exit(1);
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: a newer copy is running (process 120); this one quits"));
  EXPECT_THAT(journal, IsEmpty()) << "the newer copy ends the older ones";
}

TEST_F(AppFixture, HandingOverToTheInstalledCopySetsNothingUpUnlessItCannotBeOpened) {
  bundles.mainPath = root + "home/Downloads/Quorvelle.app";
  const std::string installed = root + "home/Applications/Quorvelle.app";
  bundles.infos[bundles.mainPath] = bundles.infos[installed] = bundles.infos[root + "opt/Quorvelle.app"];
  launch();
  EXPECT_THAT(workspace.openedApplications, ElementsAre(installed));
  loop.advance(10);
  EXPECT_EQ(look(), "none");
  EXPECT_EQ(taps.tapsCreated, 0);
  EXPECT_EQ(delegate->settingsWindow(), nullptr);
  EXPECT_THAT(journal, IsEmpty());
  workspace.completeOpen("Permission denied");
  EXPECT_THAT(journal, IsEmpty()) << "started on a later turn, not inside the completion";
  loop.drain();
  EXPECT_FALSE(application.isTerminating());
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to open " + installed + ": Permission denied"));
  EXPECT_EQ(journal.back(), "launch completed");
  EXPECT_EQ(look(), "on");
}

TEST_F(AppFixture, ClosesAreHeardOnceAcceptedAndOnlyVisibleTitledWindowsKeepTheApplicationInFront) {
  std::vector<std::string> closes;
  application.addWindowWillCloseObserver([&](Window* window) {
    closes.push_back(window->title() + (window->isVisible() ? " (on screen)" : " (gone)"));
  });
  launch();
  QPointer<QWidget> settings = widgetOf(delegate->settingsWindow());
  EXPECT_TRUE(settings->close());
  EXPECT_EQ(delegate->settingsWindow(), nullptr) << "dropped as its window closes";
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);
  QCoreApplication::sendPostedEvents(nullptr, QEvent::DeferredDelete);
  EXPECT_FALSE(settings) << "released once its close is over";
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory);

  class Stubborn : public QWidget {
    void closeEvent(QCloseEvent* event) override { event->ignore(); }
  } stubborn;
  stubborn.setWindowTitle("Stubborn");
  stubborn.show();
  EXPECT_FALSE(stubborn.close());
  QWidget frameless(nullptr, Qt::FramelessWindowHint), minimised;
  frameless.show();
  minimised.showMinimized();
  QMenu popup;
  popup.popup(QPoint(10, 10));
  popup.close();
  QMessageBox alert;
  alert.setWindowTitle("Alert");
  QTimer::singleShot(0, alert.addButton("OK", QMessageBox::AcceptRole), &QPushButton::click);
  alert.exec();
  EXPECT_THAT(closes, ElementsAre("Quorvelle Preferences (on screen)", "Alert (on screen)"))
      << "neither a refused close nor a menu";

  // About is sized to its content, kept when closed and comes back where it
  // was left; the stubborn window keeps the application in front meanwhile.
  delegate->showAboutWindow();
  QWidget* about = widgetOf(delegate->aboutWindow());
  EXPECT_EQ(about->windowTitle(), "About Quorvelle");
  EXPECT_EQ(delegate->aboutWindow()->styleMask(), 3u);
  EXPECT_EQ(about->minimumSize(), about->maximumSize()) << "not resizable";
  EXPECT_EQ(about->size(), about->sizeHint());
  about->move(100, 120);
  about->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Regular);
  stubborn.hide();
  delegate->showAboutWindow();
  EXPECT_EQ(widgetOf(delegate->aboutWindow()), about);
  EXPECT_TRUE(about->isVisible());
  EXPECT_EQ(about->pos(), QPoint(100, 120));
  about->close();
  EXPECT_EQ(policyAfterCloses(), ActivationPolicy::Accessory) << "frameless or minimised: no title bar on screen";
}

TEST_F(AppFixture, TheSettingsWindowOffersTheApplicationCommandsInItsButtonAndContextMenu) {
  launch();
  QWidget* settings = widgetOf(delegate->settingsWindow());
  auto* button = settings->findChild<QToolButton*>(QtContentWindows::kMenuButtonName);
  ASSERT_TRUE(button && button->menu());
  EXPECT_TRUE(fitsInside(button, settings));
  QList<QAction*> actions = button->menu()->actions();
  ASSERT_EQ(actions.size(), 2);
  EXPECT_EQ(actions[0]->text() + "|" + actions[1]->text(), "About Quorvelle|Check for Updates…");
  application.setActivationPolicy(ActivationPolicy::Accessory);
  actions[1]->trigger();
  EXPECT_EQ(updater.created->userChecks, 1);
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular) << "in front before the updater shows";
  actions[0]->trigger();
  EXPECT_TRUE(delegate->aboutWindow()->isVisible());

  auto* enabled = settings->findChild<QCheckBox*>("enabled");
  QContextMenuEvent click(QContextMenuEvent::Mouse, QPoint(2, 2), enabled->mapToGlobal(QPoint(2, 2)));
  QApplication::sendEvent(enabled, &click);
  EXPECT_TRUE(button->menu()->isVisible()) << "a right click offers the same menu";
  button->menu()->close();

  delegate.reset();
  actions[1]->trigger();  // harmless once the delegate is gone
  actions[0]->trigger();
  EXPECT_EQ(updater.created->userChecks, 1);
}

TEST_F(AppFixture, TheTrayMenuShortcutsWorkWhileItIsOpenAndQuitTerminatesOnce) {
  launch(/*atLogin=*/true);
  int terminations = 0;
  application.setTerminationHandler([&] { ++terminations; });
  trayMenu()->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return trayMenu()->isVisible(); }));
  QTest::keyClick(trayMenu(), Qt::Key_Comma, Qt::ControlModifier);
  EXPECT_FALSE(trayMenu()->isVisible());
  ASSERT_NE(delegate->settingsWindow(), nullptr);
  trayMenu()->popup(QPoint(10, 10));
  ASSERT_TRUE(QTest::qWaitFor([&] { return trayMenu()->isVisible(); }));
  bool quitByKey = false;
  QTimer::singleShot(0, [&] {
    QTest::keyClick(trayMenu(), Qt::Key_Q, Qt::ControlModifier);
    quitByKey = application.isTerminating();
    application.terminate();  // never waits in vain
    application.terminate();
  });
  EXPECT_EQ(QApplication::exec(), 0);
  EXPECT_TRUE(quitByKey);
  EXPECT_EQ(terminations, 1);

  // The session ending quits the loop without terminate(): the handler runs all the same.
  QtApplication another(log);
  another.setTerminationHandler([&] { ++terminations; });
  QTimer::singleShot(0, [] { QCoreApplication::quit(); });
  QApplication::exec();
  EXPECT_EQ(terminations, 2);
}

TEST_F(AppFixture, QuittingWhileStartUpWaitsStartsNothingAndNothingRunsOnceTheDelegateIsGone) {
  // Quit from under the move prompt: the prompt's loop ends unanswered.
  bundles.mainPath = root + "home/Downloads/Quorvelle.app";
  bundles.infos[bundles.mainPath] = bundles.infos[root + "opt/Quorvelle.app"];
  alerts.answers.push_back({kAlertFirstButtonReturn + 2, false});
  alerts.onShow = [this] { delegate->applicationWillTerminate(); };
  launch();
  EXPECT_EQ(alerts.shown.size(), 1u);
  EXPECT_THAT(journal, IsEmpty());

  // Quit while waiting for an older copy.
  alerts.onShow = nullptr;
  bundles.mainPath = root + "opt/Quorvelle.app";
  running.add(42, kId, /*quitsWhenAsked=*/false);
  launch();
  delegate->applicationWillTerminate();
  loop.advance(6.0);
  EXPECT_THAT(journal, ElementsAre("terminate 42", "force 42"));
  EXPECT_EQ(look(), "none");

  // The delegate is gone while it waits for an older copy, or polls for access.
  running.add(43, kId, /*quitsWhenAsked=*/true);
  launch();
  delegate.reset();
  loop.advance(1.0);
  EXPECT_EQ(journal.back(), "terminate 43") << "no delegate to complete the launch";
  trust.trusted = false;
  launch();
  delegate.reset();  // the poll timer lives on in the run loop
  trust.trusted = true;
  loop.advance(4.0);
  EXPECT_EQ(taps.tapsCreated, 0);
}

}  // namespace
}  // namespace quorvelle
