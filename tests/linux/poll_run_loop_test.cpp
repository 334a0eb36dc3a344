// The poll() run loop: tasks, timers, fd watches, and watches that end or
// begin inside callbacks.
#include "linux/poll_run_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvelle {
namespace {

using ::testing::ElementsAre;

struct Pipe {
  Pipe() {
    if (pipe(fds) != 0) std::abort();
  }
  ~Pipe() {
    close(fds[0]);
    close(fds[1]);
  }
  void put(char c) {
    if (write(fds[1], &c, 1) != 1) std::abort();
  }
  char take() {
    char c = 0;
    if (read(fds[0], &c, 1) != 1) std::abort();
    return c;
  }
  int fds[2];
};

TEST(PollRunLoop, TasksRunOnLaterTurnsInOrderAndTimersUntilInvalidated) {
  PollRunLoop loop;
  std::vector<int> order;
  loop.post([&] {
    order.push_back(1);
    loop.post([&] { order.push_back(3); });
  });
  loop.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(loop.runUntil([&] { return order.size() == 3; }, 5.0));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));

  int ticks = 0;
  int shots = 0;
  std::weak_ptr<Timer> weak = loop.scheduleTimer(0.005, true, RunLoopMode::Default, [&](Timer& timer) {
    if (++ticks == 3) timer.invalidate();
  });
  std::shared_ptr<Timer> oneShot = loop.scheduleTimer(0.001, false, RunLoopMode::Common, [&](Timer&) { ++shots; });
  ASSERT_TRUE(loop.runUntil([&] { return ticks == 3 && shots == 1; }, 5.0));
  loop.runFor(0.03);
  EXPECT_EQ(ticks, 3);
  EXPECT_EQ(shots, 1);
  EXPECT_FALSE(oneShot->isValid());
  EXPECT_TRUE(weak.expired()) << "the loop lets go of a finished timer";
}

TEST(PollRunLoop, WatchesCanEndAndBeginInsideCallbacks) {
  PollRunLoop loop;
  Pipe first, second;
  std::vector<std::string> calls;
  std::unique_ptr<FdWatcher::Watch> firstWatch, secondWatch, lateWatch;
  firstWatch = loop.watchReadable(first.fds[0], [&] {
    calls.push_back(std::string("first ") + first.take());
    // Ends itself and the other watch, whose fd is readable too, and starts one.
    firstWatch.reset();
    secondWatch.reset();
    lateWatch = loop.watchReadable(second.fds[0], [&] { calls.push_back(std::string("late ") + second.take()); });
  });
  secondWatch = loop.watchReadable(second.fds[0], [&] { calls.push_back("second"); });
  first.put('a');
  second.put('b');
  ASSERT_TRUE(loop.runUntil([&] { return calls.size() == 2; }, 5.0));
  first.put('c');
  loop.runFor(0.02);
  EXPECT_THAT(calls, ElementsAre("first a", "late b"));
}

TEST(PollRunLoop, RunUntilGivesUpAtItsTimeoutAndQuitEndsRun) {
  PollRunLoop loop;
  EXPECT_FALSE(loop.runUntil([] { return false; }, 0.02));
  Pipe pipe;
  auto watch = loop.watchReadable(pipe.fds[0], [&] {
    pipe.take();
    loop.quit();
  });
  pipe.put('q');
  loop.run();  // returns only through quit()
  SUCCEED();
}

}  // namespace
}  // namespace quorvelle
