// The built application as separate processes, offscreen: one running copy,
// quitting cleanly on termination signals, and refusing to start where it
// cannot run.
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

// Started at login, so that no window opens.
const std::vector<std::string> kAtLogin = {"--launched-at-login"};

TEST(AppProcess, ANewCopyReplacesTheRunningOneAndEachQuitsCleanlyOnATerminationSignal) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  const pid_t first = app.start("offscreen", kAtLogin);
  ASSERT_TRUE(eventually([&] { return app.isListening(); }));
  const pid_t second = app.start("offscreen", kAtLogin);
  EXPECT_TRUE(exitedCleanly(app.waitForEnd(first, 10)))
      << "asked with SIGTERM, it quits through its termination path, not killed at the deadline";
  ASSERT_TRUE(eventually([&] { return app.isListening(); })) << "the new copy completes its start-up";

  // SIGINT and SIGHUP become the same call (termination_signals_test).
  kill(second, SIGHUP);
  EXPECT_TRUE(exitedCleanly(app.waitForEnd(second, 10)));
  EXPECT_FALSE(std::filesystem::exists(reopen::socketPath(app.socketFolder()))) << "the reopen socket goes with it";
}

// Copies found through /proc and signalled through pidfds, older ones asked
// to quit, a newer one given way to, whatever the order they look in.
TEST(AppProcess, CopiesStartedTogetherLeaveExactlyTheNewestRunning) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  // Each copy waits in a shell at a gate and is executed when it opens, so
  // that they all look for the others at once.
  const std::string gate = app.home() + "/gate";
  ASSERT_EQ(mkfifo(gate.c_str(), 0600), 0);
  const int gateFd = open(gate.c_str(), O_RDWR | O_CLOEXEC);  // keeps readers from blocking
  std::vector<pid_t> running;
  for (int round = 0; round < 6; ++round) {
    SCOPED_TRACE("round " + std::to_string(round));
    std::vector<pid_t> together;
    for (int i = 0; i < 2 + round % 2; ++i) {
      together.push_back(app.start("offscreen", kAtLogin, {"/bin/sh", "-c", "read -r _ < \"$0\"; exec \"$@\"", gate}));
      running.push_back(together.back());
    }
    ASSERT_EQ(write(gateFd, std::string(together.size(), '\n').data(), together.size()),
              static_cast<ssize_t>(together.size()));
    // The survivor of each round is there when the next begins.
    EXPECT_TRUE(eventually([&] {
      std::erase_if(running, [&](pid_t pid) { return app.waitForEnd(pid, 0).has_value(); });
      return running.size() <= 1;
    }));
    ASSERT_EQ(running.size(), 1u) << "exactly one copy goes on";
    if (std::is_sorted(together.begin(), together.end())) {
      EXPECT_EQ(running[0], together.back());
    }
    EXPECT_TRUE(eventually([&] { return app.isListening(); }));
  }
  close(gateFd);
}

TEST(AppProcess, RefusesToStartWithoutAUsableDisplayOrOutsideABundle) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  std::vector<std::string> noDisplay = environmentWith(
      {{"HOME", app.home()}, {"DISPLAY", std::nullopt}, {"WAYLAND_DISPLAY", std::nullopt},
       {"QT_QPA_PLATFORM", std::nullopt}});
  ProgramResult result = runProgram({app.executable()}, noDisplay);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("no display: neither DISPLAY nor WAYLAND_DISPLAY is set"));

  // A display is named but cannot be opened: a clear line, not Qt's abort.
  std::vector<std::string> deadDisplay = environmentWith(
      {{"HOME", app.home()}, {"DISPLAY", ":9999"}, {"WAYLAND_DISPLAY", std::nullopt}, {"QT_QPA_PLATFORM", "xcb"}});
  result = runProgram({app.executable()}, deadDisplay);
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("Quorvelle: cannot open the display (DISPLAY=:9999"));

  const std::string loose = app.home() + "/Quorvelle";
  std::filesystem::copy_file(app.executable(), loose);
  result = runProgram({loose}, app.environment("offscreen"));
  EXPECT_EQ(result.exitCode, 1);
  EXPECT_THAT(result.err, HasSubstr("does not lie in an application bundle"));
}

}  // namespace
}  // namespace quorvelle
