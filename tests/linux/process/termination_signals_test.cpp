// Termination signals reaching the main loop as calls. That the application
// quits cleanly on them is seen on the built bundle.
#include "linux/process/termination_signals.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include "linux/process/poll_run_loop.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

TEST(TerminationSignals, EachSignalBecomesOneCallOnTheLoopAndTheOldHandlersReturn) {
  PollRunLoop loop;
  std::vector<int> received;
  std::string error;
  for (int round = 0; round < 2; ++round) {  // installing again works once the first is gone
    TerminationSignals signals(loop, [&](int signal) { received.push_back(signal); });
    ASSERT_TRUE(signals.install(&error)) << error;
    EXPECT_FALSE(TerminationSignals(loop, [](int) {}).install(&error));
    EXPECT_EQ(error, "termination signals are already handled");

    raise(SIGTERM);
    raise(SIGHUP);
    EXPECT_THAT(received, ElementsAre()) << "handled on the loop, not in the handler";
    raise(SIGINT);
    loop.runUntil([&] { return received.size() == 3; }, 5);
    EXPECT_THAT(received, ElementsAre(SIGTERM, SIGHUP, SIGINT));
    received.clear();
  }
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) {
    struct sigaction current;
    sigaction(signal, nullptr, &current);
    EXPECT_EQ(current.sa_handler, SIG_DFL) << signal;
  }
}

}  // namespace
}  // namespace quorvelle
