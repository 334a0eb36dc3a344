// Running processes for real.
#include "linux/process/posix_process_launcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <filesystem>

#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using testing_support::TempDir;

TEST(PosixProcessLauncher, RunsWithArgumentsAndWaitsForExit) {
  TempDir dir;
  PosixProcessLauncher launcher;
  std::string error;
  // Arguments reach the program as they are (no shell in between), standard
  // output goes to the null device, and the call returns only after exit.
  ASSERT_TRUE(launcher.launchAndWait(
      "/bin/sh",
      {"-c", "sleep 0.2; printf '%s' \"$1\" > \"$2\"; t=$(readlink /proc/$$/fd/1); echo \"$t\" > \"$3\"; exit 3", "sh",
       "{\"a\": [1, 'two']} $HOME", dir.file("argument"), dir.file("stdout")},
      &error))
      << error;
  EXPECT_EQ(testing_support::readText(dir.file("argument")), "{\"a\": [1, 'two']} $HOME");
  EXPECT_EQ(testing_support::readText(dir.file("stdout")), "/dev/null\n");
}

TEST(PosixProcessLauncher, LaunchFailuresCarryADescription) {
  TempDir dir;
  PosixProcessLauncher launcher;
  std::string error;
  EXPECT_FALSE(launcher.launchAndWait(dir.file("missing"), {}, &error));
  EXPECT_THAT(error, testing::HasSubstr(dir.file("missing")));
  EXPECT_THAT(error, testing::HasSubstr("No such file"));
  std::ofstream(dir.file("plain")) << "#!/bin/sh\n";
  std::filesystem::permissions(dir.file("plain"), std::filesystem::perms::owner_read);
  error.clear();
  EXPECT_FALSE(launcher.launchAndWait(dir.file("plain"), {}, &error));
  EXPECT_THAT(error, testing::HasSubstr("Permission denied"));
}

}  // namespace
}  // namespace quorvelle
