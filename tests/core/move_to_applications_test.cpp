// The offer to move into the Applications folder, on a simulated file system.
#include "install/move_to_applications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "install/bundle_version.h"
#include "sim/sim_desktop.h"
#include "sim/sim_file_system.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::IsEmpty;

constexpr char kInstalled[] = "/home/user/Applications/Quorvelle.app";
constexpr char kDownloaded[] = "/home/user/Downloads/Quorvelle.app";

InfoDictionary infoWithVersion(PropertyValue version) {
  return {{"CFBundleIdentifier", std::string("com.quorvelle.Quorvelle")},
          {"CFBundleVersion", std::move(version)}};
}

// Everything one launch sees; a test may build several.
struct MoveScene {
  MoveScene() {
    files.addFolder("/opt");
    files.addFolder("/home/user/Downloads");
    useBundle(kDownloaded, std::string("12"));
  }

  // The running bundle, present on disk and with the given build number.
  void useBundle(const std::string& path, std::optional<PropertyValue> version) {
    bundles.mainPath = path;
    files.addFile(path + "/Contents/MacOS/Quorvelle", "own", true);
    if (version) bundles.infos[path] = infoWithVersion(*version);
  }
  void installCopy(PropertyValue version) {
    files.addFile(std::string(kInstalled) + "/Contents/MacOS/Quorvelle", "old", true);
    bundles.infos[kInstalled] = infoWithVersion(std::move(version));
  }

  bool run() { return mover.moveToApplicationsIfNeeded(); }
  bool startedNormally() const {
    return alerts.shown.empty() && workspace.openedApplications.empty() && defaults.writes == 0 &&
           files.operations.empty() && application.calls.empty();
  }
  bool dontAsk() const { return defaults.boolForKey("dontAskToMoveToApplications"); }

  sim::SimBundles bundles;
  sim::SimFileSystem files;
  sim::MemoryDefaultsStore defaults;
  sim::SimAlerts alerts;
  sim::SimApplication application;
  sim::SimRunLoop loop;
  ActivationPolicyRules activation{application, loop};
  sim::SimWorkspace workspace;
  sim::RecordingProcessLauncher processes;
  sim::RecordingLog log;
  ApplicationsFolders folders{"/opt", "/home/user/Applications", "/home/user/Applications",
                              std::nullopt};
  MoveToApplications mover{folders, {bundles, files, defaults, alerts, activation, workspace,
                                     application, loop, processes, log}};
};

struct MoveFixture : testing::Test, MoveScene {};

TEST(MoveToApplications, InstalledLocationsStartNormallyLookalikesGetTheOffer) {
  const std::pair<const char*, bool> cases[] = {
      {"/opt/Quorvelle.app", true}, {"/opt/tools/deep/Quorvelle.app", true}, {"/opt/Quorvelle.app/", true},
      {"/home/user/Applications/Quorvelle.app", true}, {"/home/user/Applications/Utilities/Quorvelle.app", true},
      // A parent that is a link into the system folder counts as the system folder.
      {"/home/user/Desktop/tools/Quorvelle.app", true},
      // Siblings that merely begin with the folder's name, other letter case,
      // and the home folder itself.
      {"/optional/Quorvelle.app", false}, {"/OPT/Quorvelle.app", false},
      {"/home/user/ApplicationsOld/Quorvelle.app", false}, {"/home/user/Quorvelle.app", false}};
  for (auto [path, installed] : cases) {
    SCOPED_TRACE(path);
    MoveScene scene;
    scene.files.addLink("/home/user/Desktop/tools", "/opt/tools");
    scene.useBundle(path, std::string("1"));
    scene.alerts.answers.push_back({kAlertFirstButtonReturn + 1, false});
    EXPECT_FALSE(scene.run());
    EXPECT_EQ(scene.startedNormally(), installed);
    EXPECT_EQ(scene.alerts.shown.size(), installed ? 0u : 1u);
  }
}

TEST_F(MoveFixture, AnInstalledCopyAtLeastAsNewWinsWithoutAsking) {
  // {installed, own, hands over}
  struct Case {
    PropertyValue installed;
    std::optional<PropertyValue> own;
    bool handsOver;
  };
  const Case cases[] = {
      {std::string("12"), std::string("12"), true},   {std::string("13"), std::string("12"), true},
      {std::string("11"), std::string("12"), false},  {std::string("1.0"), std::string("12"), false},
      {std::string("5"), std::nullopt, true},         {std::string("-1"), std::nullopt, false},
      {std::string("0"), std::string("abc"), true},   {std::int64_t{99}, std::string("1"), false},
      {std::string("+7"), std::string("7"), true},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(std::visit([](auto v) -> std::string {
      if constexpr (std::is_same_v<decltype(v), std::string>) return v;
      return "non-text";
    }, c.installed));
    MoveScene scene;
    scene.installCopy(c.installed);
    if (c.own) {
      scene.bundles.infos[kDownloaded] = infoWithVersion(*c.own);
    } else {
      scene.bundles.infos.erase(kDownloaded);
    }
    scene.alerts.answers.push_back({kAlertFirstButtonReturn + 1, false});
    EXPECT_EQ(scene.run(), c.handsOver);
    if (c.handsOver) {
      EXPECT_THAT(scene.alerts.shown, IsEmpty());
      EXPECT_THAT(scene.workspace.openedApplications, ElementsAre(kInstalled));
      EXPECT_THAT(scene.processes.launches, IsEmpty());
      EXPECT_THAT(scene.files.operations, IsEmpty());
    } else {
      EXPECT_EQ(scene.alerts.shown.size(), 1u);
      EXPECT_THAT(scene.workspace.openedApplications, IsEmpty());
    }
  }
}

TEST_F(MoveFixture, DontAskStopsThePromptButNotTheHandOver) {
  defaults.setBool("dontAskToMoveToApplications", true);
  installCopy(std::string("12"));
  EXPECT_TRUE(run());
  EXPECT_THAT(workspace.openedApplications, ElementsAre(kInstalled));
  EXPECT_THAT(alerts.shown, IsEmpty());
}

TEST_F(MoveFixture, HandOverQuitsOnTheMainQueueOnceTheOpenWorkedAndStaysWhenItFailed) {
  installCopy(std::string("12"));
  int startedHere = 0;
  auto startHere = [&] { ++startedHere; };
  ASSERT_TRUE(mover.moveToApplicationsIfNeeded(startHere));
  loop.drain();
  EXPECT_EQ(application.terminations, 0);
  workspace.completeOpen();
  EXPECT_EQ(application.terminations, 0);  // submitted, not run inside the completion
  loop.drain();
  EXPECT_EQ(application.terminations, 1);
  EXPECT_THAT(log.lines, IsEmpty());

  // Quitting would leave no copy running.
  ASSERT_TRUE(mover.moveToApplicationsIfNeeded(startHere));
  workspace.completeOpen("No such file or directory");
  EXPECT_EQ(startedHere, 0);
  loop.drain();
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to open "
                                     "/home/user/Applications/Quorvelle.app: No such file or directory"));
  EXPECT_EQ(application.terminations, 1);
  EXPECT_EQ(startedHere, 1);
}

TEST_F(MoveFixture, PromptComesForwardAsksAndGoesBack) {
  alerts.answers.push_back({kAlertFirstButtonReturn + 1, false});
  EXPECT_FALSE(run());
  ASSERT_EQ(alerts.shown.size(), 1u);
  const Alert& prompt = alerts.shown[0];
  EXPECT_EQ(prompt.messageText, "Move Quorvelle to your Applications folder?");
  EXPECT_EQ(prompt.informativeText,
            "Quorvelle can only keep itself up to date and open at login from the Applications "
            "folder.");
  EXPECT_THAT(prompt.buttons, ElementsAre("Move to Applications", "Not Now"));
  EXPECT_TRUE(prompt.showsSuppressionButton);
  EXPECT_EQ(prompt.suppressionButtonTitle, "Don't ask again");
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate"));
  loop.drain();  // the policy check runs on a later turn, with no window left
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate", "policy accessory"));
  EXPECT_EQ(defaults.writes, 0);
  EXPECT_THAT(files.operations, IsEmpty());
}

TEST_F(MoveFixture, DontAskAgainIsStoredWhicheverButton) {
  alerts.answers.push_back({kAlertFirstButtonReturn + 1, true});
  EXPECT_FALSE(run());
  EXPECT_TRUE(dontAsk());
  EXPECT_FALSE(run());  // not asked again
  EXPECT_EQ(alerts.shown.size(), 1u);

  MoveScene moving;
  moving.alerts.answers.push_back({kAlertFirstButtonReturn, true});
  EXPECT_TRUE(moving.run());
  EXPECT_TRUE(moving.dontAsk());

  MoveScene unchecked;
  unchecked.alerts.answers.push_back({kAlertFirstButtonReturn + 1, false});
  unchecked.alerts.answers.push_back({kAlertFirstButtonReturn + 1, false});
  EXPECT_FALSE(unchecked.run());
  EXPECT_FALSE(unchecked.run());
  EXPECT_EQ(unchecked.alerts.shown.size(), 2u);
  EXPECT_EQ(unchecked.defaults.writes, 0);
}

TEST_F(MoveFixture, MoveReplacesAnOlderCopyAndHandsOver) {
  installCopy(std::string("11"));
  alerts.answers.push_back({kAlertFirstButtonReturn, false});
  EXPECT_TRUE(run());
  EXPECT_THAT(files.operations,
              ElementsAre("trash /home/user/Applications/Quorvelle.app",
                          "copy /home/user/Downloads/Quorvelle.app -> "
                          "/home/user/Applications/Quorvelle.app"));
  ASSERT_EQ(files.trash.size(), 1u);
  EXPECT_EQ(files.trash[0].nodes.at("/Contents/MacOS/Quorvelle").contents, "old");
  EXPECT_EQ(files.node(std::string(kInstalled) + "/Contents/MacOS/Quorvelle")->contents, "own");
  EXPECT_NE(files.node(std::string(kDownloaded) + "/Contents/MacOS/Quorvelle"), nullptr);
  EXPECT_THAT(processes.launches, IsEmpty());  // no quarantine on this platform
  EXPECT_THAT(workspace.openedApplications, ElementsAre(kInstalled));
}

TEST_F(MoveFixture, MoveCreatesTheMissingUserFolder) {
  alerts.answers.push_back({kAlertFirstButtonReturn, false});
  EXPECT_TRUE(run());
  EXPECT_THAT(files.operations,
              ElementsAre("mkdir /home/user/Applications",
                          "copy /home/user/Downloads/Quorvelle.app -> "
                          "/home/user/Applications/Quorvelle.app"));
}

TEST_F(MoveFixture, QuarantineToolRunsOnTheCopyWhereThereIsOne) {
  MoveToApplications withTool(
      {"/Applications", "/home/user/Applications", "/Applications", "/usr/bin/xattr"},
      {bundles, files, defaults, alerts, activation, workspace, application, loop, processes, log});
  files.addFolder("/Applications");
  alerts.answers.push_back({kAlertFirstButtonReturn, false});
  EXPECT_TRUE(withTool.moveToApplicationsIfNeeded());
  ASSERT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(processes.launches[0].executable, "/usr/bin/xattr");
  EXPECT_THAT(processes.launches[0].arguments,
              ElementsAre("-dr", "com.apple.quarantine", "/Applications/Quorvelle.app"));
  EXPECT_THAT(workspace.openedApplications, ElementsAre("/Applications/Quorvelle.app"));

  processes.launchError = "launch path not accessible";
  withTool.removeQuarantine("/Applications/Quorvelle.app");
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to run xattr: launch path not accessible"));
}

TEST_F(MoveFixture, CopyFailureAlertsAndStartsInPlace) {
  installCopy(std::string("11"));
  files.copyError = "The disk is full.";
  alerts.answers.push_back({kAlertFirstButtonReturn, true});
  EXPECT_FALSE(run());
  ASSERT_EQ(alerts.shown.size(), 2u);
  const Alert& failure = alerts.shown[1];
  EXPECT_EQ(failure.messageText, "Couldn't move Quorvelle to Applications");
  EXPECT_EQ(failure.informativeText, "The disk is full.");
  EXPECT_THAT(failure.buttons, IsEmpty());
  EXPECT_FALSE(failure.showsSuppressionButton);
  EXPECT_EQ(files.trash.size(), 1u);  // the older copy stays in the Trash
  EXPECT_TRUE(dontAsk());
  EXPECT_THAT(workspace.openedApplications, IsEmpty());
  loop.drain();
  EXPECT_EQ(application.terminations, 0);
}

TEST_F(MoveFixture, TrashOrFolderFailureStopsBeforeCopying) {
  installCopy(std::string("11"));
  files.trashError = "The operation couldn't be completed.";
  alerts.answers.push_back({kAlertFirstButtonReturn, false});
  EXPECT_FALSE(run());
  ASSERT_EQ(alerts.shown.size(), 2u);
  EXPECT_EQ(alerts.shown[1].informativeText, "The operation couldn't be completed.");
  EXPECT_THAT(files.operations, IsEmpty());

  MoveScene noFolder;
  noFolder.files.createDirectoryError = "Permission denied";
  noFolder.alerts.answers.push_back({kAlertFirstButtonReturn, false});
  EXPECT_FALSE(noFolder.run());
  ASSERT_EQ(noFolder.alerts.shown.size(), 2u);
  EXPECT_EQ(noFolder.alerts.shown[1].informativeText, "Permission denied");
  EXPECT_THAT(noFolder.workspace.openedApplications, IsEmpty());
}

TEST_F(MoveFixture, NeverHandsOverToItself) {
  // The user folder is a link elsewhere, and the running bundle is the copy
  // in it: resolved, it is not below the user folder as written, but the
  // destination is this very bundle. Opening it would relaunch forever.
  files.addLink("/home/user/Applications", "/data/Apps");
  useBundle("/data/Apps/Quorvelle.app", std::string("12"));
  bundles.infos[kInstalled] = infoWithVersion(std::string("12"));
  EXPECT_FALSE(run());
  EXPECT_TRUE(startedNormally());
}

TEST(BundleVersion, ParsesWholeSignedDecimalsOnly) {
  struct Case {
    const char* text;
    std::optional<std::int64_t> version;
  };
  const Case cases[] = {
      {"42", 42}, {"+7", 7}, {"-2", -2}, {"0", 0}, {"007", 7},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt}, {"-9223372036854775809", std::nullopt},
      {"99999999999999999999", std::nullopt}, {"1.0", std::nullopt}, {" 42", std::nullopt},
      {"42 ", std::nullopt}, {"", std::nullopt}, {"+", std::nullopt}, {"-", std::nullopt},
      {"+-1", std::nullopt}, {"--1", std::nullopt}, {"0x10", std::nullopt}, {"1e3", std::nullopt},
      {"\xd9\xa3", std::nullopt},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.text);
    EXPECT_EQ(parseBundleVersion(c.text), c.version);
  }
}

}  // namespace
}  // namespace quorvelle
