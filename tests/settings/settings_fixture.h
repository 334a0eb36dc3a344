#pragma once

#include <sys/stat.h>

#include <filesystem>
#include <fstream>
#include <memory>
#include <vector>

#include "linux/test_files.h"
#include "linux/temp_dir.h"
#include "settings/settings_view.h"
#include "sim/sim_administrator_scripts.h"
#include "sim/sim_accessibility.h"
#include "sim/sim_alerts.h"
#include "sim/sim_application.h"
#include "sim/sim_updater.h"
#include "sim/sim_workspace.h"
#include "sim/sim_local_key_monitor.h"
#include "sim/sim_login_items.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"

namespace quorvelle::testing_support {

// The settings content on the simulated platform; the command installer
// works on real files: a bundle with its helper, a user's and a system folder.
struct SettingsFixture {
  SettingsFixture() {
    bundles.mainPath = temp.file("Quorvelle.app");
    std::filesystem::create_directories(bundles.mainPath + "/Contents/Helpers");
    std::filesystem::create_directories(systemBin);
    std::ofstream(helper) << "#!/bin/sh\n";
    chmod(helper.c_str(), 0755);
  }
  // A new content, as a newly opened window makes; earlier ones stay alive.
  SettingsView& open() {
    SettingsServices services{loop, trust, workspace, alerts, *keyMonitor, loginItems, log};
    views.push_back(std::make_unique<SettingsView>(config, updates, tool, services));
    return *views.back();
  }

  TempDir temp;
  std::string userBin = temp.file("home/.local/bin"), systemBin = temp.file("usr/local/bin");
  std::string helper = temp.file("Quorvelle.app/Contents/Helpers/quorvelle");
  sim::SimBundles bundles;
  sim::MemoryDefaultsStore defaults;
  Config config{defaults};
  sim::SimRunLoop loop;
  sim::SimApplication application;
  sim::SimUpdater updater;
  ActivationPolicyRules activation{application, loop};
  UpdateController updates{defaults, updater, application, activation};
  sim::SimAccessibilityTrust trust;
  sim::SimWorkspace workspace;
  sim::SimAlerts alerts;
  sim::SimLocalKeyMonitor monitor;
  LocalKeyMonitor* keyMonitor = &monitor;  // what new contents use
  sim::SimLoginItems loginItems;
  sim::RecordingLog log;
  TestFiles files{LinuxFileSystem::Options{temp.file("home"), temp.file("trash"), {userBin}}};
  sim::SimAdministratorScripts scripts;
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{userBin, systemBin}, systemBin + "/quorvelle"}};
  std::vector<std::unique_ptr<SettingsView>> views;
};

}  // namespace quorvelle::testing_support
