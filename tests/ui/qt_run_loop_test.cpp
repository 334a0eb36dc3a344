// The Qt run loop: queued tasks, repeating and one-shot timers, invalidation
// from inside a timer's own block.
#include "ui/qt_run_loop.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/linux_texts.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

// Processes events until the condition holds or a generous limit passes.
bool spinUntil(const std::function<bool()>& condition, int limitMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return condition();
}

TEST(QtRunLoop, PostedTasksRunLaterInOrder) {
  QtRunLoop loop;
  std::vector<int> order;
  loop.post([&] {
    order.push_back(1);
    loop.post([&] { order.push_back(3); });
  });
  loop.post([&] { order.push_back(2); });
  EXPECT_TRUE(order.empty());
  ASSERT_TRUE(spinUntil([&] { return order.size() == 3; }));
  EXPECT_THAT(order, ElementsAre(1, 2, 3));
}

TEST(QtRunLoop, RepeatingTimerRunsUntilInvalidatedFromItsOwnBlock) {
  QtRunLoop loop;
  int ticks = 0;
  std::weak_ptr<Timer> weak;
  {
    std::shared_ptr<Timer> timer = loop.scheduleTimer(0.01, true, RunLoopMode::Default, [&](Timer& t) {
      if (++ticks == 3) t.invalidate();
    });
    weak = timer;
  }  // the handle is dropped; the loop keeps the timer
  ASSERT_TRUE(spinUntil([&] { return ticks >= 3; }));
  spinUntil([] { return false; }, 100);
  EXPECT_EQ(ticks, 3);
  EXPECT_TRUE(weak.expired()) << "an invalidated timer is released";
}

TEST(QtRunLoop, OneShotFiresOnceAndInvalidatesItself) {
  QtRunLoop loop;
  int ticks = 0;
  std::shared_ptr<Timer> timer = loop.scheduleTimer(0.01, false, RunLoopMode::Common, [&](Timer&) { ++ticks; });
  ASSERT_TRUE(spinUntil([&] { return ticks == 1; }));
  EXPECT_FALSE(timer->isValid());
  spinUntil([] { return false; }, 60);
  EXPECT_EQ(ticks, 1);
}

TEST(LinuxTexts, RewordsOnlyMacPlaces) {
  EXPECT_EQ(linuxText("Open System Settings"), QString::fromUtf8("Grant Access…"));
  EXPECT_EQ(linuxText("⚠︎ Grant Accessibility Access..."), QString::fromUtf8("⚠︎ Grant Input Access..."));
  EXPECT_EQ(linuxText("Enable Quorvelle"), QString("Enable Quorvelle"));
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QCoreApplication app(argc, argv);
  testing::InitGoogleMock(&argc, argv);
  return RUN_ALL_TESTS();
}
