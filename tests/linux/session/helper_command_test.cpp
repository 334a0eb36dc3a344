// The `quorvelle` command as a user runs it: copied into a bundle in a test
// folder and reached through a command link. That a running copy is asked
// to show its settings instead, the whole-system test sees.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <sys/stat.h>

#include <filesystem>

#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;
using testing::HasSubstr;

struct HelperFixture : testing::Test {
  HelperFixture() {
    writeBundle(bundle, "org.quorvelle.test.helper", "Quorvelle", "42", "2.5");
    std::filesystem::create_directories(bundle + "/Contents/Helpers");
    std::filesystem::copy_file(QUORVELLE_HELPER, helper);
    chmod(helper.c_str(), 0755);
    // The main executable records how many arguments it was started with. How
    // a detached start leaves it is checked through the workspace's URL opener.
    writeText(bundle + "/Contents/MacOS/Quorvelle", "#!/bin/sh\necho \"$#\" > '" + started + ".tmp'; mv '" + started +
                                                        ".tmp' '" + started + "'\n", true);
    std::filesystem::create_directories(dir.file("bin"));
    std::filesystem::create_symlink(helper, command);
    mkdir(dir.file("run").c_str(), 0700);
  }
  ProgramResult run(std::vector<std::string> arguments, const std::string& program = "") {
    arguments.insert(arguments.begin(), program.empty() ? command : program);
    return runProgram(arguments, environmentWith({{"XDG_RUNTIME_DIR", dir.file("run")}}));
  }

  TempDir dir;
  std::string bundle = dir.file("Apps/Quorvelle.app"), helper = bundle + "/Contents/Helpers/quorvelle";
  std::string command = dir.file("bin/quorvelle"), started = dir.file("started");
};

TEST_F(HelperFixture, HelpVersionAndUsage) {
  ProgramResult version = run({"--version"});
  EXPECT_EQ(version.exitCode, 0);
  EXPECT_EQ(version.out, "Quorvelle 2.5 (42)\n") << "from the bundle behind the link";
  ProgramResult help = run({"--help"});
  EXPECT_EQ(help.exitCode, 0);
  EXPECT_THAT(help.out, testing::StartsWith("Usage: quorvelle [--help | --version]\n"));
  EXPECT_EQ(help.err, "");

  // The message names the word that is wrong, not a good one before it.
  for (const auto& [wrong, named] : {std::pair{std::vector<std::string>{"--settings"}, "--settings"},
                                     std::pair{std::vector<std::string>{"--help", "--version"}, "--version"},
                                     std::pair{std::vector<std::string>{"show"}, "show"}}) {
    ProgramResult usage = run(wrong);
    EXPECT_EQ(usage.exitCode, 2);
    EXPECT_EQ(usage.out, "");
    EXPECT_THAT(usage.err, HasSubstr("unexpected argument '" + std::string(named) + "'\n\nUsage: quorvelle"));
  }
  EXPECT_FALSE(std::filesystem::exists(started));
}

TEST_F(HelperFixture, StartsTheApplicationWhenNoneRunsOrSaysWhyNot) {
  ProgramResult result = run({});
  EXPECT_EQ(result.exitCode, 0) << result.err;
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(started); }));
  EXPECT_EQ(readText(started), "0\n");

  std::filesystem::remove(bundle + "/Contents/MacOS/Quorvelle");
  result = run({});
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("quorvelle: cannot start Quorvelle: "));
  EXPECT_THAT(result.err, HasSubstr("Contents/MacOS/Quorvelle: No such file or directory"));

  // Outside a bundle there is no version to tell.
  std::filesystem::create_directories(dir.file("loose"));
  std::filesystem::copy_file(QUORVELLE_HELPER, dir.file("loose/quorvelle"));
  chmod(dir.file("loose/quorvelle").c_str(), 0755);
  ProgramResult version = run({"--version"}, dir.file("loose/quorvelle"));
  EXPECT_EQ(version.exitCode, 1);
  EXPECT_THAT(version.err, HasSubstr("is not inside a Quorvelle bundle"));
}

}  // namespace
}  // namespace quorvelle
