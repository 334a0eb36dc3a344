// Termination signals reaching the main loop as calls.
#include "linux/process/termination_signals.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include <signal.h>

#include "linux/process/poll_run_loop.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

bool handlerIs(int signal, void (*handler)(int)) {
  struct sigaction current;
  sigaction(signal, nullptr, &current);
  return current.sa_handler == handler;
}

TEST(TerminationSignals, EachSignalBecomesOneCallAndTheOldHandlersReturn) {
  PollRunLoop loop;
  std::vector<int> received;
  {
    TerminationSignals signals(loop, [&](int signal) { received.push_back(signal); });
    std::string error;
    ASSERT_TRUE(signals.install(&error)) << error;

    TerminationSignals second(loop, [](int) {});
    EXPECT_FALSE(second.install(&error));
    EXPECT_EQ(error, "termination signals are already handled");

    raise(SIGTERM);
    raise(SIGHUP);
    EXPECT_THAT(received, ElementsAre());  // handled on the loop, not in the handler
    raise(SIGINT);
    loop.runUntil([&] { return received.size() == 3; }, 5);
    EXPECT_THAT(received, ElementsAre(SIGTERM, SIGHUP, SIGINT));
  }
  for (int signal : {SIGTERM, SIGINT, SIGHUP}) EXPECT_TRUE(handlerIs(signal, SIG_DFL)) << signal;

  // Installing again works once the first is gone.
  TerminationSignals again(loop, [&](int signal) { received.push_back(signal); });
  std::string error;
  EXPECT_TRUE(again.install(&error)) << error;
}

}  // namespace
}  // namespace quorvelle
