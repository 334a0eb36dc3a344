// One running copy for real: separate processes started from bundles in a
// test folder, finding each other through /proc and signalling through pidfds.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <optional>
#include <string>

#include "linux/proc_running_applications.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;

struct SingleInstanceFixture : testing::Test {
  SingleInstanceFixture() {
    // Unique, so that copies from other test runs on the machine never meet.
    identifier = "org.quorvelle.test.probe-" + std::to_string(getpid()) + "-" +
                 std::to_string(++counter);
    std::filesystem::create_directories(state());
  }
  ~SingleInstanceFixture() override {
    for (pid_t pid : started) {
      kill(pid, SIGKILL);
      waitForExit(pid, 5);
    }
  }

  std::string state() const { return dir.file("state"); }

  // Puts the probe into a bundle at the path with the identifier.
  std::string install(const std::string& bundle, const std::string& bundleIdentifier) {
    writeBundle(bundle, bundleIdentifier, "Probe");
    std::string executable = bundle + "/Contents/MacOS/Probe";
    std::filesystem::create_directories(bundle + "/Contents/MacOS");
    std::filesystem::copy_file(QUORVELLE_PROBE, executable);
    chmod(executable.c_str(), 0755);
    return executable;
  }

  pid_t start(const std::string& executable, bool ignoreTerm = false) {
    std::vector<std::string> argv = {executable, state()};
    if (ignoreTerm) argv.push_back("--ignore-term");
    pid_t pid = spawnProgram(argv, environmentWith({}), false).pid;
    if (pid > 0) started.push_back(pid);
    return pid;
  }

  bool launched(pid_t pid) {
    return eventually([&] { return std::filesystem::exists(record(pid, "launched")); });
  }
  std::string record(pid_t pid, const char* what) const {
    return state() + "/" + std::to_string(pid) + "." + what;
  }
  // Reaps a probe the test started.
  std::optional<int> exitOf(pid_t pid) {
    std::optional<int> status = waitForExit(pid, 30);
    if (status) std::erase(started, pid);
    return status;
  }

  static inline int counter = 0;
  TempDir dir;
  std::string identifier;
  std::vector<pid_t> started;
};

TEST_F(SingleInstanceFixture, OlderCopyQuitsCleanlyOnTheRequest) {
  // Same identifier from another folder counts; another identifier does not.
  pid_t older = start(install(dir.file("a/Probe.app"), identifier));
  ASSERT_TRUE(launched(older));
  pid_t stranger = start(install(dir.file("c/Probe.app"), identifier + ".other"));
  ASSERT_TRUE(launched(stranger));

  pid_t newer = start(install(dir.file("b/Probe.app"), identifier));
  ASSERT_TRUE(launched(newer));

  std::optional<int> status = exitOf(older);
  ASSERT_TRUE(status);
  // An exit of its own, through its termination path: not killed after the deadline.
  ASSERT_TRUE(WIFEXITED(*status)) << *status;
  EXPECT_EQ(WEXITSTATUS(*status), 0);
  EXPECT_EQ(readText(record(older, "terminated")), std::to_string(SIGTERM));

  EXPECT_FALSE(std::filesystem::exists(record(stranger, "terminated")));
  EXPECT_EQ(waitpid(stranger, nullptr, WNOHANG), 0);  // still running
}

TEST_F(SingleInstanceFixture, CopyIgnoringTheRequestIsKilledAfterTheDeadline) {
  std::string executable = install(dir.file("a/Probe.app"), identifier);
  pid_t stubborn = start(executable, true);
  ASSERT_TRUE(launched(stubborn));
  pid_t newer = start(executable);
  ASSERT_TRUE(launched(newer));

  std::optional<int> status = exitOf(stubborn);
  ASSERT_TRUE(status);
  ASSERT_TRUE(WIFSIGNALED(*status)) << *status;
  EXPECT_EQ(WTERMSIG(*status), SIGKILL);
  EXPECT_FALSE(std::filesystem::exists(record(stubborn, "terminated")));
}

TEST_F(SingleInstanceFixture, OnlyThisUsersMainExecutablesAreFoundAndTheyStayTheSameProcess) {
  std::string bundle = dir.file("s/Sleeper.app");
  writeBundle(bundle, identifier, "Sleeper");
  std::filesystem::create_directories(bundle + "/Contents/MacOS");
  std::filesystem::create_directories(bundle + "/Contents/Helpers");
  std::string sleeper = bundle + "/Contents/MacOS/Sleeper";
  // The bundle's helpers are no copies of the application.
  std::string helper = bundle + "/Contents/Helpers/quorvelle-keymap";
  for (const std::string& program : {sleeper, helper}) {
    std::filesystem::copy_file("/bin/sleep", program);
    chmod(program.c_str(), 0755);
  }

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
  EXPECT_TRUE(running.runningApplicationsWithBundleIdentifier(identifier + ".x").empty());

  found[0]->forceTerminate();
  std::optional<int> status = exitOf(ours);
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
