#pragma once

#include <functional>
#include <string>

#include "activation/activation_policy.h"
#include "install/applications_folders.h"
#include "platform/alerts.h"
#include "platform/application.h"
#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/files.h"
#include "platform/log.h"
#include "platform/process_launcher.h"
#include "platform/run_loop.h"
#include "platform/workspace.h"

namespace quorvelle {

struct MoveToApplicationsServices {
  Bundles& bundles;
  FileSystem& files;
  DefaultsStore& defaults;
  Alerts& alerts;
  ActivationPolicyRules& activation;
  Workspace& workspace;
  Application& application;
  RunLoop& mainQueue;
  ProcessLauncher& processes;
  Log& log;
};

// At every launch: a copy running from outside the Applications folders hands
// over to an installed copy that is at least as new, or offers to copy itself
// there, because updates and launch at login only work from there.
class MoveToApplications {
 public:
  static constexpr char kPromptMessage[] = "Move Quorvelle to your Applications folder?";
  static constexpr char kPromptInformative[] =
      "Quorvelle can only keep itself up to date and open at login from the Applications folder.";
  static constexpr char kMoveButton[] = "Move to Applications";
  static constexpr char kNotNowButton[] = "Not Now";
  static constexpr char kDontAskAgain[] = "Don't ask again";
  static constexpr char kFailureMessage[] = "Couldn't move Quorvelle to Applications";

  MoveToApplications(ApplicationsFolders folders, MoveToApplicationsServices services);

  // Main thread; may show modal alerts and block while copying. True when
  // this instance hands over to the installed copy and terminates by itself
  // shortly: the caller then sets nothing else up. Should the installed copy
  // fail to open, this instance stays and startHere runs on the main queue.
  bool moveToApplicationsIfNeeded(std::function<void()> startHere = {});

  // Strips the download quarantine from the bundle, waiting for the tool.
  void removeQuarantine(const std::string& bundlePath);

  // Starts the bundle, then terminates this instance on the main queue; when
  // the start fails, logs why and runs startHere instead, so that one copy
  // keeps running.
  void openAndTerminate(const std::string& bundlePath, std::function<void()> startHere);

 private:
  bool isInstalled(const std::string& bundlePath) const;
  // Trashes what stands at the destination and copies the bundle there.
  bool copyToDestination(const std::string& bundlePath, const std::string& destination,
                         std::string* error);

  ApplicationsFolders folders_;
  MoveToApplicationsServices services_;
};

}  // namespace quorvelle
