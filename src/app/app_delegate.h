#pragma once

#include <functional>
#include <memory>
#include <string>
#include <vector>

#include "activation/activation_policy.h"
#include "app/other_instances.h"
#include "config/config.h"
#include "engine/hyper_key_manager.h"
#include "engine/key_mapping.h"
#include "install/applications_folders.h"
#include "install/move_to_applications.h"
#include "platform/accessibility.h"
#include "platform/content_windows.h"
#include "platform/launch_event.h"
#include "platform/menu.h"
#include "platform/running_applications.h"
#include "platform/status_bar.h"
#include "statusitem/status_item_controller.h"
#include "update/update_controller.h"

namespace quorvelle {

// The platform services the application uses, handed to its delegate.
struct AppServices {
  RunLoop& runLoop;
  Application& application;
  DefaultsStore& defaults;
  Updater& updater;
  EventTapSystem& eventTaps;
  ProcessLauncher& processes;
  HidSystem& hid;
  Log& log;
  AccessibilityTrust& trust;
  StatusBar& statusBar;
  Workspace& workspace;
  ContentWindows& windows;
  LaunchEvents& launchEvents;
  RunningApplications& runningApplications;
  Bundles& bundles;
  FileSystem& files;
  Alerts& alerts;
  ApplicationsFolders folders;
  // The key mapping tool the engine runs.
  std::string keyMappingToolPath;
};

// Owns every long-lived object of the application and wires them together:
// start-up and shutdown, the access watch, single instance, and the windows.
// Every closure, timer and subscription it hands out holds it weakly.
class AppDelegate : public std::enable_shared_from_this<AppDelegate> {
 public:
  // Creates config, updates and hyperKey, in that order; nothing else.
  static std::shared_ptr<AppDelegate> create(AppServices services);

  AppDelegate(const AppDelegate&) = delete;
  AppDelegate& operator=(const AppDelegate&) = delete;

  // Entry points of the application.
  void applicationDidFinishLaunching();
  void windowWillClose(Window* window);
  // Reopening always shows the settings; answers false (nothing further).
  bool applicationShouldHandleReopen(bool hasVisibleWindows);
  void applicationWillTerminate();
  bool applicationSupportsSecureRestorableState() const { return true; }

  // Start-up, settings changes.
  void completeLaunch(bool showSettingsAtEnd);
  void enabledChanged(bool enabled);
  void hideMenuBarIconChanged(bool hidden);

  // The access watch.
  void checkAccessibilityAndStart();
  void accessibilityPollTick(Timer& timer);

  // Windows and commands.
  void showSettings();
  void showAboutWindow();
  // The application commands, in their order, for wherever the platform
  // offers them (an application menu, or a menu of the settings window).
  void addApplicationCommands(Menu& menu);

  // Runs at the very end of start-up, once older copies are gone; never when
  // this copy hands over to an installed one. The platform starts taking
  // reopen requests then.
  void setLaunchCompletedHandler(std::function<void()> handler) { launchCompleted_ = std::move(handler); }

  Config& config() { return config_; }
  UpdateController& updates() { return updates_; }
  HyperKeyManager& hyperKey() { return hyperKey_; }
  StatusItemController* statusItem() { return statusItem_.get(); }
  bool isPollingForAccess() const { return accessibilityTimer_ != nullptr; }
  ContentWindow* settingsWindow() { return settingsWindow_.get(); }
  ContentWindow* aboutWindow() { return aboutWindow_.get(); }

  static constexpr double kAccessibilityPollInterval = 2.0;
  static constexpr char kSettingsWindowTitle[] = "Quorvelle Preferences";
  // The title of the settings scene's own window, where the platform has one.
  static constexpr char kSettingsSceneWindowTitle[] = "Quorvelle Settings";
  static constexpr char kAboutWindowTitle[] = "About Quorvelle";
  static constexpr char kAboutCommandTitle[] = "About Quorvelle";
  static constexpr char kCheckForUpdatesCommandTitle[] = "Check for Updates…";
  static constexpr double kSettingsWindowWidth = 420;
  static constexpr std::uint32_t kSettingsWindowStyle =
      kWindowTitled | kWindowClosable | kWindowMiniaturizable | kWindowResizable;
  static constexpr std::uint32_t kAboutWindowStyle = kWindowTitled | kWindowClosable;

 private:
  explicit AppDelegate(AppServices services);
  // Ends older copies, or quits for a newer one, then completes the launch.
  void replaceOtherInstances(bool showSettingsAtEnd);

  AppServices services_;
  ActivationPolicyRules activation_;
  KeyMapping keyMapping_;
  Config config_;
  UpdateController updates_;
  HyperKeyManager hyperKey_;
  MoveToApplications moveToApplications_;
  OtherInstances otherInstances_;
  std::unique_ptr<StatusItemController> statusItem_;
  std::unique_ptr<ContentWindow> aboutWindow_;
  std::unique_ptr<ContentWindow> settingsWindow_;
  std::shared_ptr<Timer> accessibilityTimer_;
  std::vector<Cancellable> cancellables_;
  std::function<void()> launchCompleted_;
  bool terminated_ = false;
};

}  // namespace quorvelle
