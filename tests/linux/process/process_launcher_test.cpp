// Running processes for real.
#include "linux/process/posix_process_launcher.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;
using testing::HasSubstr;

TEST(PosixProcessLauncher, RunsWithArgumentsAsTheyAreWaitsForExitAndDescribesFailures) {
  TempDir dir;
  PosixProcessLauncher launcher;
  std::string error;
  // No shell in between, standard output to the null device, and the call
  // returns only after exit.
  ASSERT_TRUE(launcher.launchAndWait(
      "/bin/sh",
      {"-c", "sleep 0.2; printf '%s' \"$1\" > \"$2\"; t=$(readlink /proc/$$/fd/1); echo \"$t\" > \"$3\"; exit 3", "sh",
       "{\"a\": [1, 'two']} $HOME", dir.file("argument"), dir.file("stdout")},
      &error))
      << error;
  EXPECT_EQ(readText(dir.file("argument")), "{\"a\": [1, 'two']} $HOME");
  EXPECT_EQ(readText(dir.file("stdout")), "/dev/null\n");

  EXPECT_FALSE(launcher.launchAndWait(dir.file("missing"), {}, &error));
  EXPECT_THAT(error, testing::AllOf(HasSubstr(dir.file("missing")), HasSubstr("No such file")));
  writeText(dir.file("plain"), "#!/bin/sh\n");
  EXPECT_FALSE(launcher.launchAndWait(dir.file("plain"), {}, &error));
  EXPECT_THAT(error, HasSubstr("Permission denied"));
}

}  // namespace
}  // namespace quorvelle
