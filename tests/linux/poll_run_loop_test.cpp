// The poll() run loop's tasks and timers; the event tap tests drive its fd
// watches, ended and begun inside callbacks among them.
#include "linux/poll_run_loop.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

namespace quorvelle {
namespace {

using ::testing::ElementsAre;

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
  std::weak_ptr<Timer> repeating = loop.scheduleTimer(0.005, true, RunLoopMode::Default, [&](Timer& timer) {
    if (++ticks == 3) timer.invalidate();
  });
  std::shared_ptr<Timer> oneShot = loop.scheduleTimer(0.001, false, RunLoopMode::Common, [&](Timer&) { ++shots; });
  ASSERT_TRUE(loop.runUntil([&] { return ticks == 3 && shots == 1; }, 5.0));
  EXPECT_FALSE(loop.runUntil([&] { return ticks > 3 || shots > 1; }, 0.03));
  EXPECT_FALSE(oneShot->isValid());
  EXPECT_TRUE(repeating.expired()) << "the loop lets go of a finished timer";
}

}  // namespace
}  // namespace quorvelle
