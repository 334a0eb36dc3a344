// The command installer on real files: a temporary folder stands in for the
// home, the link directories and the bundle. Which directories count as
// writable is decided by the test (the suite runs as root, to whom every
// folder is writable).
#include "install/command_line_tool.h"

#include <sys/stat.h>
#include <unistd.h>

#include <fstream>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/chosen_writability.h"
#include "linux/pkexec_administrator_scripts.h"
#include "linux/temp_dir.h"
#include "sim/sim_administrator_scripts.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing_support::ChosenWritability;
using testing_support::TempDir;

void writeExecutable(const std::string& path, const std::string& text = "#!/bin/sh\n") {
  std::ofstream(path) << text;
  chmod(path.c_str(), 0755);
}

struct CommandLineToolTest : testing::Test {
  explicit CommandLineToolTest(const std::string& bundleFolder = "Quorvelle.app") {
    bundles.mainPath = temp.file(bundleFolder);
    std::filesystem::create_directories(bundles.mainPath + "/Contents/Helpers");
    helper = bundles.mainPath + "/Contents/Helpers/quorvelle";
    writeExecutable(helper);
    std::filesystem::create_directories(temp.file("home"));
    std::filesystem::create_directories(systemBin);
  }
  std::string link(const std::string& folder) const { return folder + "/quorvelle"; }
  std::optional<std::string> target(const std::string& path) const {
    return files.destinationOfSymbolicLink(path);
  }

  TempDir temp;
  std::string userBin = temp.file("home/.local/bin");
  std::string systemBin = temp.file("usr/local/bin");
  std::string helper;
  sim::SimBundles bundles;
  ChosenWritability files{LinuxFileSystem::Options{temp.file("home"), temp.file("trash"), {userBin}}};
  sim::SimAdministratorScripts scripts;
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{userBin, systemBin}, link(systemBin)}};
  std::string error;
};

TEST_F(CommandLineToolTest, InstallLinksIntoTheUsersOwnFolderMadeOnDemand) {
  EXPECT_EQ(tool.installedPath(), std::nullopt);
  ASSERT_FALSE(std::filesystem::exists(temp.file("home/.local"))) << "a fresh account";
  EXPECT_EQ(tool.install(&error), link(userBin)) << error;
  EXPECT_EQ(target(link(userBin)), helper);
  EXPECT_FALSE(std::filesystem::exists(link(systemBin))) << "the second directory is not touched";
  EXPECT_TRUE(scripts.sources.empty()) << "no password asked";
  EXPECT_EQ(tool.installedPath(), link(userBin));
}

TEST_F(CommandLineToolTest, InstallReplacesARegularFileWhichRemoveThenLeavesAlone) {
  files.unwritable = {userBin};
  writeExecutable(link(systemBin), "#!/bin/sh\necho other\n");
  EXPECT_EQ(tool.install(&error), link(systemBin)) << error;
  EXPECT_EQ(target(link(systemBin)), helper);

  // A regular file in the first directory is reported first, and survives removal.
  std::filesystem::create_directories(userBin);
  writeExecutable(link(userBin));
  files.unwritable.clear();
  EXPECT_EQ(tool.installedPath(), link(userBin));
  EXPECT_TRUE(tool.remove(&error)) << error;
  EXPECT_FALSE(std::filesystem::is_symlink(link(systemBin)));
  EXPECT_TRUE(std::filesystem::is_regular_file(link(userBin)));
  EXPECT_EQ(tool.installedPath(), link(userBin));
}

TEST_F(CommandLineToolTest, NeitherWritableRunsOneAdministratorCommand) {
  files.unwritable = {userBin, systemBin};
  EXPECT_EQ(tool.install(&error), link(systemBin)) << error;
  ASSERT_EQ(scripts.sources.size(), 1u);
  EXPECT_EQ(scripts.sources[0], "do shell script \"mkdir -p " + systemBin + " && ln -sf '" + helper + "' '" +
                                    link(systemBin) + "'\" with administrator privileges");

  scripts.outcome = {.built = true, .succeeded = false, .errorMessage = "Request dismissed"};
  EXPECT_EQ(tool.install(&error), std::nullopt);
  EXPECT_EQ(error, "Request dismissed");
  scripts.outcome = {.built = true, .succeeded = false, .errorMessage = std::nullopt};
  EXPECT_FALSE(tool.runWithAdministratorPrivileges("true", &error));
  EXPECT_EQ(error, "Command failed.");
  scripts.outcome = {.built = false, .succeeded = false, .errorMessage = std::nullopt};
  EXPECT_FALSE(tool.runWithAdministratorPrivileges("true", &error));
  EXPECT_EQ(error, "Could not build script.");
}

TEST_F(CommandLineToolTest, RemoveTakesLinksWhereverTheyPoint) {
  EXPECT_TRUE(tool.remove(&error)) << "nothing installed";
  EXPECT_TRUE(scripts.sources.empty());

  std::filesystem::create_directories(userBin);
  std::filesystem::create_symlink(temp.file("moved-away/quorvelle"), link(userBin));
  std::filesystem::create_symlink("/bin/sh", link(systemBin));
  EXPECT_EQ(tool.installedPath(), link(systemBin)) << "a dangling link does not count";
  files.unwritable = {systemBin};
  EXPECT_TRUE(tool.remove(&error)) << error;
  EXPECT_FALSE(std::filesystem::is_symlink(link(userBin)));
  EXPECT_THAT(scripts.sources, testing::ElementsAre("do shell script \"rm -f '" + link(systemBin) +
                                                    "'\" with administrator privileges"));
}

TEST_F(CommandLineToolTest, MissingHelperTouchesNothing) {
  std::filesystem::remove(helper);
  std::filesystem::create_directories(userBin);
  writeExecutable(link(userBin));
  EXPECT_EQ(tool.install(&error), std::nullopt);
  EXPECT_EQ(error, "The quorvelle helper is missing from this copy of Quorvelle.");
  EXPECT_TRUE(std::filesystem::is_regular_file(link(userBin)));
}

// A bundle under a folder whose name holds every character that matters to
// the shell and to the script literal.
struct AwkwardPathTest : CommandLineToolTest {
  AwkwardPathTest() : CommandLineToolTest("it's \"q\" $(touch pwned) \\n.app") {
    writeExecutable(pkexec, "#!/bin/sh\ncd \"$(dirname \"$0\")\" && exec \"$@\"\n");
    files.unwritable = {userBin, systemBin};
  }
  std::string pkexec = temp.file("pkexec");
  PkexecAdministratorScripts realScripts{pkexec};
  CommandLineTool realTool{files, realScripts, bundles, CommandLinePaths{{userBin, systemBin}, link(systemBin)}};
};

TEST_F(AwkwardPathTest, QuotingKeepsAnyPathWholeAndInert) {
  ASSERT_TRUE(tool.install(&error));
  // Quoted for the shell, then escaped for the script literal.
  std::string folder = temp.path() + "/it'\\\\''s \\\"q\\\" $(touch pwned) \\\\n.app";
  EXPECT_THAT(scripts.sources[0], testing::HasSubstr("'" + folder));

  // The same command through the real pkexec runner, with a stand-in for pkexec.
  std::filesystem::remove(systemBin);
  EXPECT_EQ(realTool.install(&error), link(systemBin)) << error;
  EXPECT_EQ(target(link(systemBin)), helper);
  EXPECT_FALSE(std::filesystem::exists(temp.file("pwned")));
  EXPECT_TRUE(realTool.remove(&error)) << error;
  EXPECT_FALSE(std::filesystem::is_symlink(link(systemBin)));
}

TEST_F(AwkwardPathTest, DismissedAuthenticationReportsPkexecsMessage) {
  writeExecutable(pkexec,
                  "#!/bin/sh\necho 'Error executing command as another user: Request dismissed' >&2\nexit 126\n");
  EXPECT_EQ(realTool.install(&error), std::nullopt);
  EXPECT_EQ(error, "Error executing command as another user: Request dismissed");
  EXPECT_FALSE(std::filesystem::is_symlink(link(systemBin)));

  PkexecAdministratorScripts missing{temp.file("no-such-pkexec")};
  ScriptOutcome outcome =
      missing.runWithAdministratorPrivileges("do shell script \"true\" with administrator privileges");
  EXPECT_TRUE(outcome.built);
  EXPECT_FALSE(outcome.succeeded);
  EXPECT_THAT(outcome.errorMessage.value_or(""), testing::HasSubstr("no-such-pkexec"));
}

TEST(AdministratorScriptForm, OnlyTheOneFormIsRun) {
  EXPECT_EQ(shellCommandOfAdministratorScript(
                "do shell script \"echo \\\"a\\\\b\\\"\" with administrator privileges"),
            "echo \"a\\b\"");
  for (const char* other : {"do shell script \"a\" with administrator privileges extra",
                            "do shell script \"a\"b\" with administrator privileges",
                            "do shell script \"a\\x\" with administrator privileges", "tell application \"x\""}) {
    EXPECT_EQ(shellCommandOfAdministratorScript(other), std::nullopt) << other;
    EXPECT_FALSE(PkexecAdministratorScripts("/bin/false").runWithAdministratorPrivileges(other).built);
  }
}

}  // namespace
}  // namespace quorvelle
