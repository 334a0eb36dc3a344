#pragma once

#include <memory>
#include <string>
#include <vector>

#include "app/app_delegate.h"
#include "install/command_line_tool.h"
#include "linux/desktop/access_grant.h"
#include "linux/desktop/linux_workspace.h"
#include "linux/desktop/pkexec_administrator_scripts.h"
#include "linux/engine_client/engine_tap_system.h"
#include "linux/engine_client/engine_trust.h"
#include "linux/files/json_defaults_store.h"
#include "linux/files/linux_file_system.h"
#include "linux/files/plist_bundles.h"
#include "linux/process/posix_process_launcher.h"
#include "linux/process/proc_running_applications.h"
#include "linux/process/system_log.h"
#include "linux/process/system_wall_clock.h"
#include "linux/session/autostart_login_items.h"
#include "linux/session/command_line_launch_events.h"
#include "ui/access_notification.h"
#include "ui/qt_alerts.h"
#include "ui/qt_appcast_feed.h"
#include "ui/qt_application.h"
#include "ui/qt_content_windows.h"
#include "ui/qt_fd_watcher.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/qt_run_loop.h"
#include "ui/qt_status_bar.h"
#include "ui/qt_update_window.h"
#include "update/feed_updater.h"

namespace quorvelle {

// Every platform service of the application, built for this bundle, in the
// order they depend on each other (and are torn down in reverse).
class DesktopServices {
 public:
  DesktopServices(const std::string& bundlePath, const std::string& bundleIdentifier,
                  const std::vector<std::string>& arguments);

  // What the delegate works with; the keyboard services may be stand-ins.
  AppServices appServices(EventTapSystem* eventTaps, HidSystem* hid, AccessibilityTrust* trust);

  // <bundle>/Contents/Helpers/<name>
  std::string helperPath(const std::string& name) const;

  std::string bundlePath;
  SystemLog log;
  PlistBundles bundles;
  JsonDefaultsStore defaults;
  // The updater keeps its own settings apart from the application's.
  JsonDefaultsStore updaterDefaults;
  QtRunLoop runLoop;
  QtFdWatcher fdWatcher;
  QtApplication application;
  // Clients of the engine service, which holds the keyboards.
  EngineTapSystem eventTaps;
  PosixProcessLauncher processes;
  LinuxWorkspace workspace;
  AccessGrant grant;
  AccessNotification notification;
  EngineTrust trust;
  SystemWallClock clock;
  QtAppcastFeed feed;
  QtUpdateWindow updateWindow;
  FeedUpdater updater;
  QtStatusBar statusBar;
  LinuxFileSystem files;
  QtAlerts alerts;
  QtLocalKeyMonitor keyMonitor;
  AutostartLoginItems loginItems;
  PkexecAdministratorScripts administratorScripts;
  CommandLineTool commandLineTool;
  CommandLineLaunchEvents launchEvents;
  ProcRunningApplications runningApplications;
  // Built last, on the trust check above or its stand-in.
  std::unique_ptr<QtContentWindows> windows;
};

}  // namespace quorvelle
