// The command installer on real files: a temporary folder stands in for the
// home, the link directories and the bundle. The test decides which folders
// count as writable (the suite runs as root, to whom every folder is). Its
// failures as the settings window shows them are tested there.
#include "install/command_line_tool.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/desktop/pkexec_administrator_scripts.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/test_files.h"
#include "sim/sim_administrator_scripts.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

namespace fs = std::filesystem;
using testing_support::writeText;

struct CommandLineToolTest : testing::Test {
  explicit CommandLineToolTest(const std::string& bundleFolder = "Quorvelle.app") {
    bundles.mainPath = temp.file(bundleFolder);
    fs::create_directories(temp.file("home"));
    fs::create_directories(systemBin);
    writeText(helper(), "#!/bin/sh\n", true);
  }
  std::string helper() const { return bundles.mainPath + "/Contents/Helpers/quorvelle"; }
  std::optional<std::string> target(const std::string& path) { return files.destinationOfSymbolicLink(path); }

  testing_support::TempDir temp;
  std::string userBin = temp.file("home/.local/bin"), systemBin = temp.file("usr/local/bin");
  std::string userLink = userBin + "/quorvelle", systemLink = systemBin + "/quorvelle";
  std::string trash = temp.file("home/.local/share/Trash");
  sim::SimBundles bundles;
  testing_support::TestFiles files{LinuxFileSystem::Options{temp.file("home"), trash, {userBin}}};
  sim::SimAdministratorScripts scripts;
  CommandLineTool tool{files, scripts, bundles, CommandLinePaths{{userBin, systemBin}, systemLink}};
  std::string error;
};

TEST_F(CommandLineToolTest, InstallLinksIntoTheFirstWritableFolderAndTrashesWhatStoodThere) {
  ASSERT_FALSE(fs::exists(temp.file("home/.local"))) << "a fresh account";
  EXPECT_EQ(tool.installedPath(), std::nullopt);
  EXPECT_EQ(tool.install(&error), userLink) << error;
  EXPECT_EQ(target(userLink), helper());
  EXPECT_FALSE(fs::exists(systemLink)) << "the second directory is not touched";
  EXPECT_EQ(tool.installedPath(), userLink);

  files.unwritable = {userBin};
  writeText(systemLink, "#!/bin/sh\necho other\n", true);
  EXPECT_EQ(tool.install(&error), systemLink) << error;
  EXPECT_EQ(target(systemLink), helper());
  EXPECT_EQ(fs::file_size(trash + "/files/quorvelle"), 21u) << "the user's own script";
  files.unwritable.clear();
  fs::remove(userLink);
  fs::create_directories(userLink + "/notes");
  EXPECT_EQ(tool.install(&error), userLink) << error;
  EXPECT_TRUE(fs::is_directory(trash + "/files/quorvelle.2/notes")) << "a whole folder of that name";
  EXPECT_TRUE(scripts.sources.empty()) << "no password asked";

  fs::remove(userLink);
  writeText(userLink, "#!/bin/sh\n", true);
  EXPECT_EQ(tool.installedPath(), userLink) << "any executable of that name counts, the first first";
  EXPECT_TRUE(tool.remove(&error)) << error;
  EXPECT_FALSE(fs::is_symlink(systemLink));
  EXPECT_TRUE(fs::is_regular_file(userLink)) << "a regular file is never removed";
}

TEST_F(CommandLineToolTest, NeitherWritableAsksOnePasswordAndRemoveTakesLinksWhereverTheyPoint) {
  files.unwritable = {userBin, systemBin};
  EXPECT_EQ(tool.install(&error), systemLink) << error;
  EXPECT_EQ(scripts.sources.size(), 1u) << "what it runs is run for real below";
  for (auto [outcome, message] : {std::pair{ScriptOutcome{true, false, std::nullopt}, "Command failed."},
                                  {ScriptOutcome{false, false, std::nullopt}, "Could not build script."}}) {
    scripts.outcome = outcome;
    EXPECT_EQ(tool.install(&error), std::nullopt);
    EXPECT_EQ(error, message);
  }

  scripts.outcome = ScriptOutcome{true, true, std::nullopt};
  scripts.sources.clear();
  files.unwritable = {systemBin};
  EXPECT_TRUE(tool.remove(&error)) << "nothing installed";
  fs::create_directories(userBin);
  fs::create_symlink(temp.file("moved-away/quorvelle"), userLink);
  fs::create_symlink("/bin/sh", systemLink);
  EXPECT_EQ(tool.installedPath(), systemLink) << "a dangling link does not count";
  EXPECT_TRUE(tool.remove(&error)) << error;
  EXPECT_FALSE(fs::is_symlink(userLink));
  EXPECT_THAT(scripts.sources,
              testing::ElementsAre("do shell script \"rm -f '" + systemLink + "'\" with administrator privileges"));
}

// A bundle under a folder whose name holds every character that matters to
// the shell and to the script literal, run through the real pkexec runner
// with a stand-in for pkexec that runs the command as it is.
struct AwkwardPathTest : CommandLineToolTest {
  AwkwardPathTest() : CommandLineToolTest("it's \"q\" $(touch pwned) \\n.app") {
    writeText(pkexec, "#!/bin/sh\ncd \"$(dirname \"$0\")\" && exec \"$@\"\n", true);
    files.unwritable = {userBin, systemBin};
  }
  std::string pkexec = temp.file("pkexec");
  PkexecAdministratorScripts realScripts{pkexec};
  CommandLineTool realTool{files, realScripts, bundles, CommandLinePaths{{userBin, systemBin}, systemLink}};
};

TEST_F(AwkwardPathTest, QuotingKeepsAnyPathWholeAndInert) {
  fs::remove(systemBin);  // made by the command
  EXPECT_EQ(realTool.install(&error), systemLink) << error;
  EXPECT_EQ(target(systemLink), helper());
  EXPECT_FALSE(fs::exists(temp.file("pwned")));
  EXPECT_TRUE(realTool.remove(&error)) << error;
  EXPECT_FALSE(fs::is_symlink(systemLink));
  // A link to a folder at the path is replaced; a folder there is a failure,
  // never a link put inside it, and the failure reports what the command
  // wrote to standard error (as pkexec does when dismissed).
  fs::create_directories(temp.file("elsewhere"));
  fs::create_symlink(temp.file("elsewhere"), systemLink);
  EXPECT_EQ(realTool.install(&error), systemLink) << error;
  EXPECT_EQ(target(systemLink), helper());
  fs::remove(systemLink);
  fs::create_directories(systemLink);
  EXPECT_EQ(realTool.install(&error), std::nullopt);
  EXPECT_THAT(error, testing::StartsWith("ln: ")) << "ln's own message, in any language";
  EXPECT_TRUE(fs::is_empty(systemLink) && fs::is_empty(temp.file("elsewhere")));
  EXPECT_FALSE(realScripts.runWithAdministratorPrivileges("do shell script \"a\"b\" with administrator privileges")
                   .built)
      << "only the one form runs";
}

}  // namespace
}  // namespace quorvelle
