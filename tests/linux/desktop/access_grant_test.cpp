// Starting the grant of input access: a stand-in pkexec, a real process, that
// records how it was run and answers as pkexec does.
#include "linux/desktop/access_grant.h"

#include <sys/stat.h>

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "linux/process/poll_run_loop.h"
#include "linux/process_util.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::HasSubstr;

struct AccessGrantTest : testing::Test {
  AccessGrantTest() {
    testing_support::writeText(helper, "#!/bin/sh\n", true);
    // Records its arguments, waits while "hold" exists (the password dialog
    // is up), then answers with the status in "status".
    testing_support::writeText(pkexec,
                               "#!/bin/sh\necho \"$@\" >> " + dir.file("calls") + "\nwhile [ -e " + dir.file("hold") +
                                   " ]; do sleep 0.01; done\nstatus=$(cat " + dir.file("status") +
                                   " 2>/dev/null || echo 0)\n[ $status = 0 ] || echo 'Error: Not authorized' >&2\n"
                                   "exit $status\n",
                               true);
  }
  std::string calls() const { return testing_support::readText(dir.file("calls")); }
  bool finishes() { return testing_support::serveUntil(loop, [&] { return !grant.isRunning(); }, 10); }

  testing_support::TempDir dir;
  std::string helper = dir.file("grant-helper"), pkexec = dir.file("pkexec");
  PollRunLoop loop;
  sim::RecordingLog log;
  AccessGrant grant{loop, log, helper, pkexec};
};

TEST_F(AccessGrantTest, RunsTheHelperThroughPkexecOneAtATimeAndLogsFailures) {
  EXPECT_FALSE(AccessGrant(loop, log, dir.file("no-helper"), pkexec).start());
  EXPECT_FALSE(AccessGrant(loop, log, helper, dir.file("no-pkexec")).start());
  EXPECT_THAT(log.lines, testing::ElementsAre(HasSubstr("no-helper"), HasSubstr("no-pkexec")));
  EXPECT_EQ(calls(), "") << "nothing runs without both";
  log.lines.clear();

  std::ofstream(dir.file("hold")) << "";
  ASSERT_TRUE(grant.start());
  ASSERT_TRUE(testing_support::serveUntil(loop, [&] { return !calls().empty(); }, 10)) << "started without waiting for it";
  EXPECT_TRUE(grant.start()) << "the grant under way stands for a second one";
  std::remove(dir.file("hold").c_str());
  ASSERT_TRUE(finishes());
  EXPECT_EQ(calls(), helper + " install\n");
  EXPECT_TRUE(log.lines.empty());

  for (int status : {126, 3}) {
    std::ofstream(dir.file("status")) << status;
    ASSERT_TRUE(grant.start());
    ASSERT_TRUE(finishes());
  }
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_EQ(log.lines[0], "Quorvelle: granting input access failed: not authorized (Error: Not authorized)");
  EXPECT_THAT(log.lines[1], HasSubstr("the grant helper exited with status 3"));
}

}  // namespace
}  // namespace quorvelle
