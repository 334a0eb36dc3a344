// The built application as separate processes, offscreen: copies started
// together leave exactly one running, each quitting cleanly on a termination
// signal, and it refuses to start where it cannot run.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <fcntl.h>
#include <signal.h>
#include <sys/stat.h>
#include <sys/wait.h>

#include <algorithm>
#include <filesystem>

#include "app_sandbox.h"

namespace quorvelle {
namespace {

using namespace testing_support;
using testing::HasSubstr;

bool exitedCleanly(const std::optional<int>& status) {
  return status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0;
}

// Copies found through /proc and signalled through pidfds, older ones asked
// to quit (SIGTERM, through the termination path, not killed at a deadline), a
// newer one given way to, whatever the order they look in.
TEST(AppProcess, CopiesStartedTogetherLeaveTheNewestRunningAndEachQuitsCleanlyOnASignal) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  // Each copy (started at login, so that no window opens) waits in a shell at
  // a gate and is executed when it opens, so that they look for the others at once.
  const std::string gate = app.home() + "/gate";
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gateFd = open(gate.c_str(), O_RDWR | O_CLOEXEC);  // keeps readers from blocking
  std::vector<pid_t> running;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    const std::vector<pid_t> before = running;
    std::vector<pid_t> together;
    for (int i = 0; i < 1 + round % 3; ++i) {
      together.push_back(app.start("offscreen", {"--launched-at-login"},
                                   {"/bin/sh", "-c", "read -r _ < \"$0\"; exec \"$@\"", gate}));
      running.push_back(together.back());
    }
    ASSERT_EQ(write(gateFd, std::string(together.size(), '\n').data(), together.size()),
              static_cast<ssize_t>(together.size()));
    // The survivor of each round is there when the next begins.
    EXPECT_TRUE(eventually([&] {
      std::erase_if(running, [&](pid_t pid) {
        std::optional<int> status = app.waitForEnd(pid, 0);
        if (status && std::ranges::count(before, pid)) EXPECT_TRUE(exitedCleanly(status)) << "asked to quit";
        return status.has_value();
      });
      return running.size() <= 1;
    }));
    ASSERT_EQ(running.size(), 1u) << "exactly one copy goes on";
    if (std::is_sorted(together.begin(), together.end())) EXPECT_EQ(running[0], together.back());
    EXPECT_TRUE(eventually([&] { return app.isListening(); })) << "the survivor completes its start-up";
  }
  close(gateFd);
  // SIGINT and SIGHUP become the same call (termination_signals_test).
  kill(running[0], SIGHUP);
  EXPECT_TRUE(exitedCleanly(app.waitForEnd(running[0], 10)));
  EXPECT_FALSE(std::filesystem::exists(reopen::socketPath(app.socketFolder()))) << "the reopen socket goes with it";
}

TEST(AppProcess, RefusesToStartWithoutAUsableDisplayOrOutsideABundle) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  const std::string loose = app.home() + "/Quorvelle";
  std::filesystem::copy_file(app.executable(), loose);
  auto display = [&](std::optional<std::string> name, std::optional<std::string> platform) {
    return environmentWith({{"HOME", app.home()}, {"DISPLAY", name}, {"WAYLAND_DISPLAY", std::nullopt},
                            {"QT_QPA_PLATFORM", platform}});
  };
  const std::tuple<std::string, std::vector<std::string>, const char*> refusals[] = {
      {app.executable(), display(std::nullopt, std::nullopt),
       "no display: neither DISPLAY nor WAYLAND_DISPLAY is set"},
      // Named but cannot be opened: a clear line, not Qt's abort.
      {app.executable(), display(":9999", "xcb"), "Quorvelle: cannot open the display (DISPLAY=:9999"},
      {loose, app.environment("offscreen"), "does not lie in an application bundle"}};
  for (const auto& [program, environment, message] : refusals) {
    ProgramResult result = runProgram({program}, environment);
    EXPECT_EQ(result.exitCode, 1) << message;
    EXPECT_THAT(result.err, HasSubstr(message));
  }
}

}  // namespace
}  // namespace quorvelle
