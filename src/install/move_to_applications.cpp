#include "install/move_to_applications.h"

#include <cstdint>
#include <optional>

#include "config/preference_keys.h"
#include "install/bundle_version.h"

namespace quorvelle {
namespace {

std::string withoutTrailingSlashes(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

std::string lastPathComponent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

std::string deletingLastPathComponent(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

// The folder path followed by exactly one "/", so that a sibling whose name
// merely begins with the same letters never matches a prefix test.
std::string asFolderPrefix(const std::string& path) {
  std::string prefix = withoutTrailingSlashes(path);
  if (prefix.empty() || prefix.back() != '/') prefix += '/';
  return prefix;
}

bool startsWith(const std::string& text, const std::string& prefix) {
  return text.compare(0, prefix.size(), prefix) == 0;
}

}  // namespace

MoveToApplications::MoveToApplications(ApplicationsFolders folders,
                                       MoveToApplicationsServices services)
    : folders_(std::move(folders)), services_(services) {}

bool MoveToApplications::isInstalled(const std::string& bundlePath) const {
  const std::string parent =
      asFolderPrefix(services_.files.resolvingSymlinks(deletingLastPathComponent(bundlePath)));
  return startsWith(parent, asFolderPrefix(folders_.systemFolder)) ||
         startsWith(parent, asFolderPrefix(folders_.userFolder));
}

bool MoveToApplications::moveToApplicationsIfNeeded(std::function<void()> startHere) {
  const std::string bundlePath = withoutTrailingSlashes(services_.bundles.mainBundlePath());
  if (isInstalled(bundlePath)) return false;

  const std::string destination =
      asFolderPrefix(folders_.destinationFolder) + lastPathComponent(bundlePath);

  // Reached through a link, the destination can be this very bundle: it is
  // then the installed copy, and handing over would relaunch it forever.
  if (services_.files.resolvingSymlinks(destination) ==
      services_.files.resolvingSymlinks(bundlePath)) {
    return false;
  }

  // An installed copy at least as new wins, even when the user asked never to
  // be prompted again.
  if (std::optional<std::int64_t> installed = bundleVersion(services_.bundles, destination)) {
    std::int64_t own = bundleVersion(services_.bundles, bundlePath).value_or(0);
    if (*installed >= own) {
      openAndTerminate(destination, std::move(startHere));
      return true;
    }
  }

  if (services_.defaults.boolForKey(prefs::kDontAskToMoveToApplications)) return false;

  services_.activation.bringToFront();
  Alert prompt;
  prompt.messageText = kPromptMessage;
  prompt.informativeText = kPromptInformative;
  prompt.buttons = {kMoveButton, kNotNowButton};
  prompt.showsSuppressionButton = true;
  prompt.suppressionButtonTitle = kDontAskAgain;
  AlertResponse response = services_.alerts.runModal(prompt);
  services_.activation.scheduleActivationPolicyUpdate();

  if (response.suppressionChecked) {
    services_.defaults.setBool(prefs::kDontAskToMoveToApplications, true);
  }
  if (response.button != kAlertFirstButtonReturn) return false;

  std::string error;
  if (!copyToDestination(bundlePath, destination, &error)) {
    Alert failure;
    failure.messageText = kFailureMessage;
    failure.informativeText = error;
    services_.alerts.runModal(failure);
    return false;
  }
  removeQuarantine(destination);
  openAndTerminate(destination, std::move(startHere));
  return true;
}

bool MoveToApplications::copyToDestination(const std::string& bundlePath,
                                           const std::string& destination, std::string* error) {
  FileSystem& files = services_.files;
  if (files.fileExists(destination) && !files.trashItem(destination, error)) return false;
  if (!files.createDirectory(withoutTrailingSlashes(folders_.destinationFolder), error)) {
    return false;
  }
  return files.copyItem(bundlePath, destination, error);
}

void MoveToApplications::removeQuarantine(const std::string& bundlePath) {
  if (!folders_.quarantineTool) return;
  std::string error;
  if (!services_.processes.launchAndWait(*folders_.quarantineTool,
                                         {"-dr", "com.apple.quarantine", bundlePath}, &error)) {
    services_.log.write("Quorvelle: failed to run xattr: " + error);
  }
}

void MoveToApplications::openAndTerminate(const std::string& bundlePath,
                                          std::function<void()> startHere) {
  Log& log = services_.log;
  RunLoop& mainQueue = services_.mainQueue;
  Application& application = services_.application;
  services_.workspace.openApplication(
      bundlePath, [&log, &mainQueue, &application, bundlePath,
                   startHere = std::move(startHere)](std::optional<std::string> error) {
        if (!error) {
          mainQueue.post([&application] { application.terminate(); });
          return;
        }
        // Quitting now would leave no copy running at all.
        log.write("Quorvelle: failed to open " + bundlePath + ": " + *error);
        if (startHere) mainQueue.post(startHere);
      });
}

}  // namespace quorvelle
