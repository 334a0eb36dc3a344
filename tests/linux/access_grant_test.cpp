// Starting the grant of input access: a stand-in pkexec, a real process, that
// records how it was run and answers as pkexec does.
#include "linux/access_grant.h"

#include <sys/stat.h>

#include <fstream>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <sstream>

#include "linux/poll_loop.h"
#include "linux/temp_dir.h"
#include "sim/sim_services.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing::HasSubstr;
using testing::IsEmpty;

struct AccessGrantTest : testing::Test {
  AccessGrantTest() {
    std::ofstream(helper) << "#!/bin/sh\n";
    chmod(helper.c_str(), 0755);
    // Records its arguments; waits while the "hold" file exists (the password
    // dialog is up); answers with the status in "status" and its message.
    std::ofstream(pkexec) << "#!/bin/sh\n"
                          << "echo \"$@\" >> " << dir.file("calls") << "\n"
                          << "while [ -e " << dir.file("hold") << " ]; do sleep 0.01; done\n"
                          << "status=$(cat " << dir.file("status") << " 2>/dev/null || echo 0)\n"
                          << "[ \"$status\" = 0 ] || echo 'Error executing command as another user: Not authorized' >&2\n"
                          << "exit $status\n";
    chmod(pkexec.c_str(), 0755);
  }

  std::vector<std::string> calls() const {
    std::vector<std::string> lines;
    std::ifstream in(dir.file("calls"));
    for (std::string line; std::getline(in, line);) lines.push_back(line);
    return lines;
  }
  void answerWith(int status) { std::ofstream(dir.file("status")) << status; }
  bool finishes() { return loop.runUntil([&] { return !grant.isRunning(); }, 10); }

  testing_support::TempDir dir;
  std::string helper = dir.file("quorvelle-grant-access");
  std::string pkexec = dir.file("pkexec");
  testing_support::PollLoop loop;
  sim::RecordingLog log;
  AccessGrant grant{loop, log, helper, pkexec};
};

TEST_F(AccessGrantTest, RunsTheHelperThroughPkexecWithoutWaitingAndLogsARefusal) {
  ASSERT_TRUE(grant.start());
  EXPECT_TRUE(grant.isRunning()) << "the password dialog may take its time";
  ASSERT_TRUE(finishes());
  EXPECT_THAT(calls(), ElementsAre(helper + " install"));
  EXPECT_THAT(log.lines, IsEmpty());

  answerWith(126);
  ASSERT_TRUE(grant.start());
  ASSERT_TRUE(finishes());
  ASSERT_EQ(log.lines.size(), 1u);
  EXPECT_THAT(log.lines[0], HasSubstr("Quorvelle: granting input access failed: not authorized"));
  EXPECT_THAT(log.lines[0], HasSubstr("Not authorized"));

  answerWith(3);
  ASSERT_TRUE(grant.start());
  ASSERT_TRUE(finishes());
  EXPECT_THAT(log.lines.back(), HasSubstr("the grant helper exited with status 3"));
}

TEST_F(AccessGrantTest, OneGrantAtATime) {
  std::ofstream(dir.file("hold")) << "";
  ASSERT_TRUE(grant.start());
  ASSERT_TRUE(loop.runUntil([&] { return calls().size() == 1; }, 10));
  EXPECT_TRUE(grant.start()) << "the grant under way stands for it";
  std::remove(dir.file("hold").c_str());
  ASSERT_TRUE(finishes());
  EXPECT_EQ(calls().size(), 1u);

  ASSERT_TRUE(grant.start());
  ASSERT_TRUE(finishes());
  EXPECT_EQ(calls().size(), 2u);
}

TEST_F(AccessGrantTest, MissingProgramsAreLoggedAndNothingRuns) {
  AccessGrant noHelper(loop, log, dir.file("missing-helper"), pkexec);
  EXPECT_FALSE(noHelper.start());
  AccessGrant noPkexec(loop, log, helper, dir.file("missing-pkexec"));
  EXPECT_FALSE(noPkexec.start());
  EXPECT_FALSE(noPkexec.isRunning());
  ASSERT_EQ(log.lines.size(), 2u);
  EXPECT_THAT(log.lines[0], HasSubstr("missing-helper"));
  EXPECT_THAT(log.lines[1], HasSubstr("missing-pkexec"));
  EXPECT_THAT(calls(), IsEmpty());
}

}  // namespace
}  // namespace quorvelle
