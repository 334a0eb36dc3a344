// The built application on an X server: the `quorvelle` command brings up
// the running copy's settings window, and only an ordinary launch opens it by
// itself. Windows are looked for as any X client sees them.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>

#include "app_sandbox.h"

namespace quorvelle {
namespace {

using namespace testing_support;

// Whether a window with exactly this title is mapped on the display.
bool windowShown(const std::string& title) {
  ProgramResult found =
      runProgram({"/usr/bin/xdotool", "search", "--onlyvisible", "--name", "^" + title + "$"}, environmentWith({}));
  return found.exitCode == 0 && !found.out.empty();
}

TEST(AppOnDisplay, TheCommandShowsTheSettingsOfTheRunningCopy) {
  AppSandbox app(QUORVELLE_BUILT_BUNDLE);
  const pid_t atLogin = app.start("xcb", {"--launched-at-login"});
  ASSERT_TRUE(eventually([&] { return app.isListening(); }));
  EXPECT_FALSE(windowShown("Quorvelle Preferences")) << "no window after a start at login";

  ProgramResult command = runProgram({app.helper("quorvelle")}, app.environment("xcb"));
  EXPECT_EQ(command.exitCode, 0) << command.err;
  EXPECT_TRUE(eventually([&] { return windowShown("Quorvelle Preferences"); }));
  EXPECT_FALSE(app.waitForEnd(atLogin, 0.2)) << "shown by the running copy, not by a new one replacing it";
  kill(atLogin, SIGTERM);
  std::optional<int> status = app.waitForEnd(atLogin, 10);
  EXPECT_TRUE(status && WIFEXITED(*status) && WEXITSTATUS(*status) == 0);
  EXPECT_TRUE(eventually([&] { return !windowShown("Quorvelle Preferences"); }));

  const pid_t ordinary = app.start("xcb");
  EXPECT_TRUE(eventually([&] { return windowShown("Quorvelle Preferences"); }))
      << "an ordinary launch opens the settings last";
  kill(ordinary, SIGTERM);
  app.waitForEnd(ordinary, 10);
}

}  // namespace
}  // namespace quorvelle
