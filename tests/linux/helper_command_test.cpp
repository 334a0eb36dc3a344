// The `quorvelle` command as a user runs it: copied into a bundle in a test
// folder, reached through a command link. (Starting Quorvelle, or showing the
// running copy's settings, is seen in the whole-system acceptance test.)
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>
#include <unistd.h>

#include <filesystem>
#include <string>

#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;
using testing::HasSubstr;
using testing::StartsWith;

// The main executable records how many arguments it was started with. How
// a detached start leaves it is checked on spawnDetached itself.
constexpr char kMainScript[] =
    "#!/bin/sh\n"
    "echo \"$#\" > \"$QUORVELLE_TEST_STATE/started.tmp\"\n"
    "mv \"$QUORVELLE_TEST_STATE/started.tmp\" \"$QUORVELLE_TEST_STATE/started\"\n";

struct HelperFixture : testing::Test {
  HelperFixture() {
    writeBundle(bundle, "org.quorvelle.test.helper", "Quorvelle", "42", "2.5");
    std::filesystem::create_directories(bundle + "/Contents/Helpers");
    std::filesystem::copy_file(QUORVELLE_HELPER, helper);
    chmod(helper.c_str(), 0755);
    writeText(bundle + "/Contents/MacOS/Quorvelle", kMainScript, true);
    std::filesystem::create_directories(dir.file("bin"));
    std::filesystem::create_symlink(helper, command);
    mkdir(runtime.c_str(), 0700);
    std::filesystem::create_directories(state);
  }

  std::vector<std::string> environment() const {
    return environmentWith({{"XDG_RUNTIME_DIR", runtime}, {"QUORVELLE_TEST_STATE", state}});
  }
  ProgramResult run(std::vector<std::string> arguments) {
    arguments.insert(arguments.begin(), command);
    return runProgram(arguments, environment());
  }

  TempDir dir;
  std::string bundle = dir.file("Apps/Quorvelle.app");
  std::string helper = bundle + "/Contents/Helpers/quorvelle";
  std::string command = dir.file("bin/quorvelle");
  std::string runtime = dir.file("run");
  std::string state = dir.file("state");
};

TEST_F(HelperFixture, HelpVersionAndUsage) {
  ProgramResult version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Quorvelle 2.5 (42)\n");  // from the bundle behind the link

  ProgramResult help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, StartsWith("Usage: quorvelle [--help | --version]\n"));
  EXPECT_EQ(help.err, "");

  // The message names the word that is wrong, not a good one before it.
  for (const auto& [wrong, named] : {std::pair{std::vector<std::string>{"--settings"}, "--settings"},
                                     std::pair{std::vector<std::string>{"--help", "--version"}, "--version"},
                                     std::pair{std::vector<std::string>{"show"}, "show"}}) {
    ProgramResult usage = run(wrong);
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_THAT(usage.err, HasSubstr("unexpected argument '" + std::string(named) + "'"));
    EXPECT_THAT(usage.err, HasSubstr("Usage: quorvelle"));
  }
  EXPECT_FALSE(std::filesystem::exists(state + "/started"));
}

TEST_F(HelperFixture, MissingApplicationIsReported) {
  std::filesystem::remove(bundle + "/Contents/MacOS/Quorvelle");
  ProgramResult result = run({});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("quorvelle: cannot start Quorvelle: "));
  EXPECT_THAT(result.err, HasSubstr("Contents/MacOS/Quorvelle: No such file or directory"));

  // Outside a bundle there is no version to tell.
  std::string loose = dir.file("loose/quorvelle");
  std::filesystem::create_directories(dir.file("loose"));
  std::filesystem::copy_file(QUORVELLE_HELPER, loose);
  chmod(loose.c_str(), 0755);
  ProgramResult version = runProgram({loose, "--version"}, environment());
  EXPECT_EQ(version.exitCode, 1);
  EXPECT_THAT(version.err, HasSubstr("is not inside a Quorvelle bundle"));
}

}  // namespace
}  // namespace quorvelle
