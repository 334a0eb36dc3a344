// The offer to move into the Applications folder, on real files in a
// temporary folder that holds the system folder ("opt") and the home.
#include "install/move_to_applications.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "install/bundle_version.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/test_files.h"
#include "sim/sim_alerts.h"
#include "sim/sim_application.h"
#include "sim/sim_workspace.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using testing::ElementsAre;
using testing::IsEmpty;
using testing_support::readText;

constexpr int kMove = kAlertFirstButtonReturn, kNotNow = kAlertFirstButtonReturn + 1;

InfoDictionary infoWithVersion(PropertyValue version) {
  return {{"CFBundleIdentifier", std::string("com.quorvelle.Quorvelle")}, {"CFBundleVersion", std::move(version)}};
}

// Everything one launch sees; a test may build several.
struct MoveScene {
  MoveScene() {
    fs::create_directories(root + "opt");
    useBundle(downloaded, std::string("12"));
  }
  // The running bundle, present on disk and with the given build number.
  void useBundle(const std::string& path, std::optional<PropertyValue> version) {
    bundles.mainPath = path;
    testing_support::writeText(path + "/Contents/MacOS/Quorvelle", "own", true);
    if (version) bundles.infos[path] = infoWithVersion(*version);
  }
  void installCopy(PropertyValue version) {
    testing_support::writeText(installed + "/Contents/MacOS/Quorvelle", "old", true);
    bundles.infos[installed] = infoWithVersion(std::move(version));
  }
  bool run(std::optional<AlertResponse> answer = std::nullopt) {
    if (answer) alerts.answers.push_back(*answer);
    return mover.moveToApplicationsIfNeeded();
  }
  bool startedNormally() const {
    return alerts.shown.empty() && workspace.openedApplications.empty() && defaults.writes == 0 &&
           application.calls.empty();
  }
  bool dontAsk() const { return defaults.boolForKey("dontAskToMoveToApplications"); }

  testing_support::TempDir temp;
  std::string root = temp.path() + "/";
  std::string installed = root + "home/Applications/Quorvelle.app", downloaded = root + "home/Downloads/Quorvelle.app";
  std::string trashed = root + "home/Trash/files/Quorvelle.app/Contents/MacOS/Quorvelle";
  sim::SimBundles bundles;
  testing_support::TestFiles files{{root + "home", root + "home/Trash", {root + "home/Applications"}}};
  sim::MemoryDefaultsStore defaults;
  sim::SimAlerts alerts;
  sim::SimApplication application;
  sim::SimRunLoop loop;
  ActivationPolicyRules activation{application, loop};
  sim::SimWorkspace workspace;
  sim::RecordingProcessLauncher processes;
  sim::RecordingLog log;
  ApplicationsFolders folders{root + "opt", root + "home/Applications", root + "home/Applications", std::nullopt};
  MoveToApplications mover{folders, {bundles, files, defaults, alerts, activation, workspace, application, loop,
                                     processes, log}};
};

struct MoveFixture : testing::Test, MoveScene {};

TEST(MoveToApplications, InstalledLocationsStartNormallyLookalikesGetTheOffer) {
  const std::pair<const char*, bool> cases[] = {
      {"opt/Quorvelle.app", true}, {"opt/tools/deep/Quorvelle.app", true}, {"opt/Quorvelle.app/", true},
      {"home/Applications/Quorvelle.app", true}, {"home/Applications/Utilities/Quorvelle.app", true},
      // A parent that is a link into the system folder counts as the system folder.
      {"home/Desktop/tools/Quorvelle.app", true},
      // Siblings that merely begin with the folder's name, other letter case,
      // and the home folder itself.
      {"optional/Quorvelle.app", false}, {"OPT/Quorvelle.app", false},
      {"home/ApplicationsOld/Quorvelle.app", false}, {"home/Quorvelle.app", false}};
  for (auto [path, installed] : cases) {
    SCOPED_TRACE(path);
    MoveScene scene;
    fs::create_directories(scene.root + "opt/tools");
    fs::create_directories(scene.root + "home/Desktop");
    fs::create_directory_symlink(scene.root + "opt/tools", scene.root + "home/Desktop/tools");
    scene.useBundle(scene.root + path, std::string("1"));
    EXPECT_FALSE(scene.run(AlertResponse{kNotNow, false}));
    EXPECT_EQ(scene.startedNormally(), installed);
  }
}

TEST(MoveToApplications, AnInstalledCopyAtLeastAsNewWinsWithoutAskingEvenWhenAskedNeverToPrompt) {
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
    for (bool dontAsk : {false, true}) {
      SCOPED_TRACE(testing::Message() << "case " << (&c - cases) << ", don't ask " << dontAsk);
      MoveScene scene;
      scene.defaults.values["dontAskToMoveToApplications"] = dontAsk;
      scene.installCopy(c.installed);
      if (c.own) scene.bundles.infos[scene.downloaded] = infoWithVersion(*c.own);
      else scene.bundles.infos.erase(scene.downloaded);
      EXPECT_EQ(scene.run(AlertResponse{kNotNow, false}), c.handsOver);
      EXPECT_EQ(scene.alerts.shown.size(), c.handsOver || dontAsk ? 0u : 1u);
      EXPECT_EQ(scene.workspace.openedApplications, c.handsOver ? std::vector{scene.installed} : std::vector<std::string>{});
      EXPECT_EQ(readText(scene.installed + "/Contents/MacOS/Quorvelle"), "old");
    }
  }
}

TEST_F(MoveFixture, PromptComesForwardAsksAndGoesBackAndItsCheckBoxIsStoredWhicheverButton) {
  EXPECT_FALSE(run(AlertResponse{kNotNow, false}));
  ASSERT_EQ(alerts.shown.size(), 1u);
  const Alert& prompt = alerts.shown[0];
  EXPECT_EQ(prompt.messageText, "Move Quorvelle to your Applications folder?");
  EXPECT_EQ(prompt.informativeText,
            "Quorvelle can only keep itself up to date and open at login from the Applications folder.");
  EXPECT_THAT(prompt.buttons, ElementsAre("Move to Applications", "Not Now"));
  EXPECT_TRUE(prompt.showsSuppressionButton);
  EXPECT_EQ(prompt.suppressionButtonTitle, "Don't ask again");
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate"));
  loop.drain();  // the policy check runs on a later turn, with no window left
  EXPECT_THAT(application.calls, ElementsAre("policy regular", "activate", "policy accessory"));
  EXPECT_EQ(defaults.writes, 0);
  EXPECT_FALSE(fs::exists(installed));
  EXPECT_FALSE(run(AlertResponse{kNotNow, true}));
  EXPECT_TRUE(dontAsk());
  EXPECT_FALSE(run());
  EXPECT_EQ(alerts.shown.size(), 2u) << "not asked again";

  MoveScene moving;
  EXPECT_TRUE(moving.run(AlertResponse{kMove, true}));
  EXPECT_TRUE(moving.dontAsk());
}

// That a failed open starts this copy on a later turn is checked where the
// application delegate hands over.
TEST_F(MoveFixture, MoveReplacesAnOlderCopyOrMakesTheMissingFolderThenHandsOverAndQuitsOnTheMainQueue) {
  EXPECT_TRUE(run(AlertResponse{kMove, false}));
  EXPECT_EQ(readText(installed + "/Contents/MacOS/Quorvelle"), "own") << "in a folder made for it";

  MoveScene older;
  older.installCopy(std::string("11"));
  older.alerts.answers.push_back({kMove, false});
  EXPECT_TRUE(older.mover.moveToApplicationsIfNeeded([] { ADD_FAILURE() << "the open worked"; }));
  EXPECT_EQ(readText(older.trashed), "old");
  EXPECT_EQ(readText(older.installed + "/Contents/MacOS/Quorvelle"), "own");
  EXPECT_TRUE(fs::exists(older.downloaded)) << "copied, not moved";
  EXPECT_THAT(older.processes.launches, IsEmpty()) << "no quarantine on this platform";
  EXPECT_THAT(older.workspace.openedApplications, ElementsAre(older.installed));
  older.workspace.completeOpen();
  EXPECT_EQ(older.application.terminations, 0) << "submitted, not run inside the completion";
  older.loop.drain();
  EXPECT_EQ(older.application.terminations, 1);
}

TEST_F(MoveFixture, QuarantineToolRunsOnTheCopyWhereThereIsOne) {
  const std::string copy = root + "opt/Quorvelle.app";
  MoveToApplications withTool({root + "opt", root + "home/Applications", root + "opt", "/usr/bin/xattr"},
                              {bundles, files, defaults, alerts, activation, workspace, application, loop, processes, log});
  alerts.answers.push_back({kMove, false});
  EXPECT_TRUE(withTool.moveToApplicationsIfNeeded());
  ASSERT_EQ(processes.launches.size(), 1u);
  EXPECT_EQ(processes.launches[0].executable, "/usr/bin/xattr");
  EXPECT_THAT(processes.launches[0].arguments, ElementsAre("-dr", "com.apple.quarantine", copy));
  EXPECT_THAT(workspace.openedApplications, ElementsAre(copy));

  processes.launchError = "launch path not accessible";
  withTool.removeQuarantine(copy);
  EXPECT_THAT(log.lines, ElementsAre("Quorvelle: failed to run xattr: launch path not accessible"));
}

TEST(MoveToApplications, AFailureOnTheWayAlertsAndStartsInPlace) {
  // The failing step, and whether the older copy went to the trash before it.
  for (auto [step, trashed] : {std::pair{"copy", true}, {"trash", false}, {"mkdir", true}}) {
    SCOPED_TRACE(step);
    MoveScene scene;
    scene.installCopy(std::string("11"));
    scene.files.failures[step] = "The disk is full.";
    EXPECT_FALSE(scene.run(AlertResponse{kMove, true}));
    ASSERT_EQ(scene.alerts.shown.size(), 2u);
    const Alert& failure = scene.alerts.shown[1];
    EXPECT_EQ(failure.messageText, "Couldn't move Quorvelle to Applications");
    EXPECT_EQ(failure.informativeText, "The disk is full.");
    EXPECT_THAT(failure.buttons, IsEmpty());
    EXPECT_FALSE(failure.showsSuppressionButton);
    EXPECT_EQ(fs::exists(scene.trashed), trashed) << "the older copy stays in the trash";
    EXPECT_TRUE(scene.dontAsk());
    EXPECT_THAT(scene.workspace.openedApplications, IsEmpty());
    scene.loop.drain();
    EXPECT_EQ(scene.application.terminations, 0);
  }
}

TEST_F(MoveFixture, NeverHandsOverToItself) {
  // The user folder is a link elsewhere, and the running bundle is the copy
  // in it: resolved, it is not below the user folder as written, but the
  // destination is this very bundle. Opening it would relaunch forever.
  fs::create_directories(root + "data/Apps");
  fs::create_directory_symlink(root + "data/Apps", root + "home/Applications");
  useBundle(root + "data/Apps/Quorvelle.app", std::string("12"));
  bundles.infos[installed] = infoWithVersion(std::string("12"));
  EXPECT_FALSE(run());
  EXPECT_TRUE(startedNormally());
}

TEST(BundleVersion, ParsesWholeSignedDecimalsOnly) {
  const std::pair<const char*, std::optional<std::int64_t>> cases[] = {
      {"42", 42}, {"+7", 7}, {"-2", -2}, {"0", 0}, {"007", 7},
      {"9223372036854775807", INT64_MAX}, {"-9223372036854775808", INT64_MIN},
      {"9223372036854775808", std::nullopt}, {"-9223372036854775809", std::nullopt},
      {"99999999999999999999", std::nullopt}, {"1.0", std::nullopt}, {" 42", std::nullopt},
      {"42 ", std::nullopt}, {"", std::nullopt}, {"+", std::nullopt}, {"-", std::nullopt},
      {"+-1", std::nullopt}, {"--1", std::nullopt}, {"0x10", std::nullopt}, {"1e3", std::nullopt},
      {"\xd9\xa3", std::nullopt},
  };
  for (auto [text, version] : cases) EXPECT_EQ(parseBundleVersion(text), version) << text;
}

}  // namespace
}  // namespace quorvelle
