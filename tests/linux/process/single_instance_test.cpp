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
  // Copies the program into a bundle at the path, as its main executable or
  // as a helper. The identifier is unique: copies from other test runs on the
  // machine never meet.
  std::string install(const std::string& bundle, const std::string& program, const std::string& relative) {
    writeBundle(bundle, identifier, "Probe");
    std::string executable = bundle + "/Contents/" + relative;
    std::filesystem::create_directories(std::filesystem::path(executable).parent_path());
    std::filesystem::copy_file(program, executable);
    chmod(executable.c_str(), 0755);
    return executable;
  }

  TempDir dir;
  std::string identifier = "org.quorvelle.test.probe-" + std::to_string(getpid());
  std::vector<pid_t> started;
};

TEST_F(SingleInstanceFixture, OnlyThisUsersMainExecutablesAreFoundAndTheyStayTheSameProcess) {
  const std::string bundle = dir.file("s/Sleeper.app");
  const std::string sleeper = install(bundle, "/bin/sleep", "MacOS/Probe");
  // The bundle's helpers are no copies of the application.
  const std::string helper = install(bundle, "/bin/sleep", "Helpers/quorvelle-keymap");

  ProcRunningApplications running;
  pid_t theirs = -1;
  if (getuid() == 0) {
    chmod(dir.path().c_str(), 0755);
    theirs = fork();
    if (theirs == 0) {
      if (setgid(65534) == 0 && setuid(65534) == 0) execl(sleeper.c_str(), "Sleeper", "60", nullptr);
      _exit(127);
    }
    started.push_back(theirs);
  }
  pid_t ownHelper = spawnProgram({helper, "60"}, environmentWith({}), false).pid;
  started.push_back(ownHelper);
  pid_t ours = spawnProgram({sleeper, "60"}, environmentWith({}), false).pid;
  started.push_back(ours);
  auto executableOf = [](pid_t pid) {
    std::error_code ignored;
    return std::filesystem::read_symlink("/proc/" + std::to_string(pid) + "/exe", ignored);
  };
  ASSERT_TRUE(eventually([&] {
    return executableOf(ours) == sleeper && executableOf(ownHelper) == helper &&
           (theirs < 0 || executableOf(theirs) == sleeper);
  }));
  auto found = running.runningApplicationsWithBundleIdentifier(identifier);
  ASSERT_EQ(found.size(), 1u);
  EXPECT_EQ(found[0]->processIdentifier(), ours);
  EXPECT_FALSE(found[0]->isTerminated());
  EXPECT_FALSE(found[0]->launchedBeforeCurrentProcess()) << "started by this process";
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
  EXPECT_EQ(waitpid(ownHelper, nullptr, WNOHANG), 0);  // never signalled
  if (theirs > 0) {
    EXPECT_EQ(waitpid(theirs, nullptr, WNOHANG), 0);
  }
}

}  // namespace
}  // namespace quorvelle
