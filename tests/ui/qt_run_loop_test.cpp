// The Qt run loop: queued tasks, repeating and one-shot timers, invalidation
// from inside a timer's own block.
#include "ui/qt_run_loop.h"

#include <QCoreApplication>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "qt_wait.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;
using testing_support::waitFor;

TEST(QtRunLoop, TasksRunLaterInOrderAndTimersUntilInvalidated) {
  QtRunLoop loop;
  std::vector<int> order;
  loop.post([&] {
    order.push_back(1);
    loop.post([&] { order.push_back(3); });
  });
  loop.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(waitFor([&] { return order.size() == 3; }));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));

  int ticks = 0, shots = 0;
  std::weak_ptr<Timer> repeating = loop.scheduleTimer(0.01, true, RunLoopMode::Default, [&](Timer& t) {
    if (++ticks == 3) t.invalidate();
  });  // the handle is dropped at once; the loop keeps the timer
  std::shared_ptr<Timer> oneShot = loop.scheduleTimer(0.01, false, RunLoopMode::Common, [&](Timer&) { ++shots; });
  ASSERT_TRUE(waitFor([&] { return ticks >= 3 && shots >= 1; }));
  EXPECT_FALSE(waitFor([&] { return ticks > 3 || shots > 1; }, 100));
  EXPECT_FALSE(oneShot->isValid());
  EXPECT_TRUE(repeating.expired()) << "an invalidated timer is released";
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
