#include "app_main/desktop_services.h"

#include <QApplication>
#include <QDBusConnection>

#include "linux/desktop/command_line_locations.h"
#include "linux/desktop/linux_applications_folders.h"
#include "ui/tray_symbols.h"

namespace quorvelle {
namespace {

QColor currentTrayForeground() {
  return trayForeground(QApplication::palette(), qEnvironmentVariable("XDG_CURRENT_DESKTOP"));
}

}  // namespace

DesktopServices::DesktopServices(const std::string& bundlePath, const std::string& bundleIdentifier,
                                 const std::vector<std::string>& arguments)
    : bundlePath(bundlePath),
      bundles(bundlePath),
      defaults(JsonDefaultsStore::pathForDomain(bundleIdentifier), log),
      updaterDefaults(JsonDefaultsStore::pathForDomain(updaterDefaultsDomain(bundleIdentifier)), log),
      application(log),
      eventTaps(runLoop, fdWatcher, log),
      workspace(runLoop, bundles),
      grant(fdWatcher, log, helperPath("quorvelle-grant-access")),
      notification(QDBusConnection::sessionBus(), [this] { grant.start(); }, log,
                   QString::fromStdString(bundlePath + "/Contents/Resources/AppIcon.svg")),
      trust(notification),
      updateWindow(workspace),
      updater(FeedUpdaterServices{bundles, updaterDefaults, runLoop, clock, feed, updateWindow, log}),
      statusBar(traySymbols(currentTrayForeground()), currentTrayForeground()),
      files(LinuxFileSystem::optionsForCurrentUser()),
      keyMonitor([this](std::uint16_t keyCode) { return eventTaps.isKeyPressedByTap(keyCode); }),
      loginItems(AutostartLoginItems::forBundle(bundles, AutostartLoginItems::autostartFolderForCurrentUser())),
      commandLineTool(files, administratorScripts, bundles, linuxCommandLinePaths(files.homeDirectory())),
      launchEvents(arguments) {
  // The privacy settings link of the menu and the settings window starts the grant.
  workspace.routeURL(kAccessibilitySettingsURL, [this] { return grant.start(); });
}

std::string DesktopServices::helperPath(const std::string& name) const {
  return bundlePath + "/Contents/Helpers/" + name;
}

AppServices DesktopServices::appServices(EventTapSystem* eventTapStandIn, HidSystem* hidStandIn,
                                         AccessibilityTrust* trustStandIn) {
  AccessibilityTrust& trustCheck = trustStandIn ? *trustStandIn : trust;
  windows = std::make_unique<QtContentWindows>(
      application, SettingsServices{runLoop, trustCheck, workspace, alerts, keyMonitor, loginItems, log},
      commandLineTool, bundles);
  return AppServices{runLoop,
                     application,
                     defaults,
                     updater,
                     eventTapStandIn ? *eventTapStandIn : eventTaps,
                     processes,
                     hidStandIn ? *hidStandIn : eventTaps.hidSystem(),
                     log,
                     trustCheck,
                     statusBar,
                     workspace,
                     *windows,
                     launchEvents,
                     runningApplications,
                     bundles,
                     files,
                     alerts,
                     linuxApplicationsFolders(files.homeDirectory()),
                     helperPath("quorvelle-keymap")};
}

}  // namespace quorvelle
