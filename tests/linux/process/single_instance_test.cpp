// Running copies found for real: processes started from bundles in a test
// folder, found through /proc and signalled through pidfds. How copies of the
// application replace each other is tested on the built bundle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "linux/process/proc_running_applications.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "linux/unprivileged.h"

namespace quorvelle {
namespace {

using namespace testing_support;

struct SingleInstanceFixture : testing::Test {
  ~SingleInstanceFixture() override {
    for (pid_t pid : started) {
      kill(pid, SIGKILL);
      waitForExit(pid, 5);
    }
  }
  // Runs a copy of sleep at the path for a minute, through a launcher if given.
  pid_t start(const std::string& executable, std::vector<std::string> launcher = {}) {
    if (!std::filesystem::exists(executable)) writeText(executable, readText("/bin/sleep"), true);
    launcher.insert(launcher.end(), {executable, "60"});
    started.push_back(spawnProgram(launcher, environmentWith({}), false).pid);
    return started.back();
  }

  TempDir dir;
  std::vector<pid_t> started;
};

TEST_F(SingleInstanceFixture, OnlyThisUsersMainExecutablesAreFoundAndTheyStayTheSameProcess) {
  // The identifier is unique: copies from other test runs on the machine never meet.
  const std::string identifier = "org.quorvelle.test.probe-" + std::to_string(getpid());
  writeBundle(dir.file("s/Sleeper.app"), identifier, "Probe");
  const std::string sleeper = dir.file("s/Sleeper.app/Contents/MacOS/Probe");
  chmod(dir.path().c_str(), 0755);
  // Another user's copy, and the bundle's helpers, are no copies of this user's application.
  const pid_t theirs = getuid() == 0 ? start(sleeper, kAsNobody) : -1;
  const std::string helper = dir.file("s/Sleeper.app/Contents/Helpers/quorvelle-keymap");
  const pid_t ownHelper = start(helper), ours = start(sleeper);
  auto executableOf = [](pid_t pid) {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ignored);
  };
  ASSERT_TRUE(eventually([&] {
    return executableOf(ours) == sleeper && executableOf(ownHelper) == helper &&
           (theirs < 0 || executableOf(theirs) == sleeper);
  }));
  ProcRunningApplications running;
  auto found = running.runningApplicationsWithBundleIdentifier(identifier);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->processIdentifier(), ours);
  EXPECT_FALSE(found[0]->isTerminated());
  EXPECT_TRUE(running.runningApplicationsWithBundleIdentifier(identifier + ".x").empty());

  found[0]->forceTerminate();
  std::optional<int> status = waitForExit(ours, 30);
  std::erase(started, ours);
  ASSERT_TRUE(status && WIFSIGNALED(*status));
  EXPECT_EQ(WTERMSIG(*status), SIGKILL);
  // Reaped: the identifier may now belong to anyone, but the handle still
  // names the process that ended.
  EXPECT_TRUE(found[0]->isTerminated());
  found[0]->terminate();
  for (pid_t other : {ownHelper, theirs}) {
    if (other > 0) EXPECT_EQ(waitpid(other, nullptr, WNOHANG), 0);  // never signalled
  }
}

}  // namespace
}  // namespace quorvelle
