// One running copy for real: separate processes started from bundles in a
// test folder, finding each other through /proc and signalling through pidfds.
// How the application itself replaces a copy is tested on the built bundle.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>
#include <unistd.h>

#include <algorithm>
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

  // Copies the program into a bundle at the path with the identifier, as its
  // main executable or as a helper.
  std::string install(const std::string& bundle, const std::string& program,
                      const std::string& relative = "MacOS/Probe") {
    writeBundle(bundle, identifier, "Probe");
    std::string executable = bundle + "/Contents/" + relative;
    std::filesystem::create_directories(std::filesystem::path(executable).parent_path());
    std::filesystem::copy_file(program, executable);
    chmod(executable.c_str(), 0755);
    return executable;
  }

  bool launched(pid_t pid) const {
    return std::filesystem::exists(state() + "/" + std::to_string(pid) + ".launched");
  }

  static inline int counter = 0;
  TempDir dir;
  std::string identifier;
  std::vector<pid_t> started;
};

TEST_F(SingleInstanceFixture, CopiesStartedTogetherLeaveExactlyTheNewestRunning) {
  // Each copy waits in a shell at a gate, and is executed when it opens: all
  // of them look for the others at once, those executed late included.
  const std::string gate = dir.file("gate");
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gateFd = open(gate.c_str(), O_RDWR | O_CLOEXEC);  // keeps readers from blocking
  ASSERT_GE(gateFd, 0);
  const char* script = "echo > \"$1.$$\"; read -r _ < \"$1\"; exec \"$2\" \"$3\"";
  std::vector<std::string> probes;  // same identifier, other folders
  for (const char* folder : {"a", "b", "c"}) {
    probes.push_back(install(dir.file(std::string(folder) + "/Probe.app"), QUORVELLE_PROBE));
  }

  // The survivor of each round is there when the next begins.
  for (int round = 0; round < 30; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const size_t copies = 2 + round % 2;
    std::vector<pid_t> together;
    for (size_t i = 0; i < copies; ++i) {
      std::vector<std::string> argv = {"/bin/sh", "-c", script, "gate", gate, probes[i], state()};
      together.push_back(spawnProgram(argv, environmentWith({}), false).pid);
      started.push_back(together.back());
    }
    ASSERT_TRUE(eventually([&] {
      return std::all_of(together.begin(), together.end(), [&](pid_t pid) {
        return std::filesystem::exists(gate + "." + std::to_string(pid));
      });
    }));
    ASSERT_EQ(write(gateFd, std::string(copies, '\n').data(), copies), static_cast<ssize_t>(copies));

    // Until at most one runs, and it has launched.
    EXPECT_TRUE(eventually([&] {
      for (pid_t pid : std::vector<pid_t>(started)) {
        if (waitpid(pid, nullptr, WNOHANG) == pid) std::erase(started, pid);
      }
      return started.size() <= 1 && (started.empty() || launched(started[0]));
    }));
    ASSERT_EQ(started.size(), 1u) << "exactly one copy goes on";
    // Identifiers handed out in order: the last one started is the newest.
    if (std::is_sorted(together.begin(), together.end())) {
      EXPECT_EQ(started[0], together.back());
    }
  }
  close(gateFd);
}

TEST_F(SingleInstanceFixture, OnlyThisUsersMainExecutablesAreFoundAndTheyStayTheSameProcess) {
  const std::string bundle = dir.file("s/Sleeper.app");
  const std::string sleeper = install(bundle, "/bin/sleep");
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
