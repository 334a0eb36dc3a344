// Starting programs and bundles for real, and telling a start at login apart.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>
#include <sys/wait.h>
#include <unistd.h>

#include <filesystem>
#include <sstream>

#include "app/launch_kind.h"
#include "linux/desktop/linux_workspace.h"
#include "linux/files/plist_bundles.h"
#include "linux/process/poll_run_loop.h"
#include "linux/process_util.h"
#include "linux/session/command_line_launch_events.h"
#include "linux/session/launch_marker.h"
#include "linux/temp_dir.h"

namespace quorvelle {
namespace {

using namespace testing_support;
using testing::HasSubstr;

// Records, one per line, its pid, parent and session, where its output goes,
// its working folder, the signals it has blocked and ignored, and its
// arguments. In awk: a shell would change the signals itself.
std::string recorder(const std::string& into) {
  std::string script = R"(#!/usr/bin/awk -f
BEGIN {
  out = "INTO.tmp"; getline stat < "/proc/self/stat"; split(stat, f, " ")
  print f[1] "\n" f[4] " " f[6] > out
  command = "readlink /proc/" f[1] "/fd/2; pwd"
  while ((command | getline line) > 0) print line > out
  while ((getline line < "/proc/self/status") > 0) if (line ~ /^Sig(Blk|Ign)/) print substr(line, 9) > out
  for (i = 1; i < ARGC; i++) print ARGV[i] > out
  close(out); system("mv '" out "' 'INTO'")
})";
  for (size_t at = script.find("INTO"); at != std::string::npos; at = script.find("INTO", at + into.size())) {
    script.replace(at, 4, into);
  }
  return script;
}

std::vector<std::string> lines(const std::string& text) {
  std::vector<std::string> result;
  std::istringstream in(text);
  for (std::string line; std::getline(in, line);) result.push_back(line);
  return result;
}

struct WorkspaceFixture : testing::Test {
  WorkspaceFixture() {
    writeBundle(dir.file("Good.app"), "org.quorvelle.test.workspace", "Main");
    writeText(dir.file("Good.app/Contents/MacOS/Main"), recorder(dir.file("main-started")), true);
    writeBundle(dir.file("Escaping.app"), "org.quorvelle.test.workspace", "../../x");
  }
  std::optional<std::string> open(const std::string& bundle) {
    bool done = false;
    std::optional<std::string> outcome;
    workspace.openApplication(bundle, [&](std::optional<std::string> error) {
      done = true;
      outcome = error;
    });
    EXPECT_FALSE(done);  // never inside the call
    EXPECT_TRUE(loop.runUntil([&] { return done; }, 5));
    return outcome;
  }

  TempDir dir;
  PollRunLoop loop;
  PlistBundles bundles{""};
  LinuxWorkspace workspace{loop, bundles, dir.file("opener")};
};

TEST_F(WorkspaceFixture, OpenApplicationStartsTheMainExecutable) {
  EXPECT_EQ(open(dir.file("Good.app")), std::nullopt);
  EXPECT_TRUE(eventually([&] { return std::filesystem::exists(dir.file("main-started")); }));

  EXPECT_EQ(open(dir.file("Nothing.app")), dir.file("Nothing.app") + " is not an application bundle");
  EXPECT_EQ(open(dir.file("Escaping.app")), dir.file("Escaping.app") + " names no main executable");
  std::filesystem::remove(dir.file("Good.app/Contents/MacOS/Main"));
  EXPECT_THAT(open(dir.file("Good.app")).value_or(""), HasSubstr("No such file or directory"));
}

// The opener runs apart: not this process's child, in a session of its own,
// with none of the signals the main loop blocks or ignores.
TEST_F(WorkspaceFixture, UrlsGoToTheirRouteOrToTheOpenerRunApartWithCleanSignals) {
  int grants = 0;
  workspace.routeURL(kAccessibilitySettingsURL, [&] { return ++grants == 1; });
  EXPECT_TRUE(workspace.openURL(kAccessibilitySettingsURL));
  EXPECT_EQ(grants, 1);
  EXPECT_FALSE(workspace.openURL("https://quorvelle.org/"));  // no opener yet
  writeText(dir.file("opener"), recorder(dir.file("opened")), true);
  EXPECT_FALSE(workspace.openURL("--help"));

  sigset_t blocked, saved;
  sigemptyset(&blocked);
  sigaddset(&blocked, SIGUSR1);
  sigprocmask(SIG_BLOCK, &blocked, &saved);
  struct sigaction ignore = {}, previous;
  ignore.sa_handler = SIG_IGN;
  sigaction(SIGUSR2, &ignore, &previous);
  const bool opened = workspace.openURL("https://quorvelle.org/a b?a=1&b='2'");
  sigprocmask(SIG_SETMASK, &saved, nullptr);
  sigaction(SIGUSR2, &previous, nullptr);
  ASSERT_TRUE(opened);
  ASSERT_TRUE(eventually([&] { return std::filesystem::exists(dir.file("opened")); }));
  std::vector<std::string> fields = lines(readText(dir.file("opened")));
  ASSERT_EQ(fields.size(), 7u);
  pid_t pid = std::stoi(fields[0]), parent = 0, session = 0;
  std::istringstream(fields[1]) >> parent >> session;
  EXPECT_NE(parent, getpid());
  EXPECT_NE(session, getsid(0));
  // Output to the null device, in /, nothing blocked or ignored, the URL whole.
  EXPECT_THAT(std::vector(fields.begin() + 2, fields.end()),
              testing::ElementsAre("/dev/null", "/", "0000000000000000", "0000000000000000",
                                   "https://quorvelle.org/a b?a=1&b='2'"));
  EXPECT_EQ(waitpid(pid, nullptr, WNOHANG), -1);  // not our child to reap
  EXPECT_EQ(errno, ECHILD);
  EXPECT_EQ(grants, 1);
}

// Only a later argument that is the marker itself counts, never the program name.
TEST(CommandLineLaunchEvents, TheAutostartMarkerMakesALoginItemLaunch) {
  using Arguments = std::vector<std::string>;
  for (auto [arguments, atLogin] :
       {std::pair{Arguments{"Quorvelle", "-platform", "xcb", kLoginItemLaunchArgument}, true},
        {Arguments{"Quorvelle"}, false}, {Arguments{kLoginItemLaunchArgument}, false},
        {Arguments{"Quorvelle", "--launched-at"}, false}}) {
    EXPECT_EQ(launchedAsLoginItem(CommandLineLaunchEvents(arguments)), atLogin) << arguments.back();
  }
}

}  // namespace
}  // namespace quorvelle
