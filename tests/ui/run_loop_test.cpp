// Both run loops, poll() and Qt's: tasks on later turns in order, repeating
// and one-shot timers, a timer invalidated in its own block, and a watch of a
// descriptor that ends inside its own callback. The event tap tests drive the
// poll loop's watches further.
#include <QTest>
#include <gmock/gmock.h>
#include <gtest/gtest.h>
#include <unistd.h>

#include "linux/process/poll_run_loop.h"
#include "ui/qt_fd_watcher.h"
#include "ui/qt_run_loop.h"

namespace quorvelle {
namespace {

struct Loop {
  const char* name;
  RunLoop& loop;
  FdWatcher& watcher;
  std::function<bool(const std::function<bool()>&, double)> runUntil;
};

TEST(RunLoops, TasksTimersAndWatches) {
  PollRunLoop poll;
  QtRunLoop qt;
  QtFdWatcher qtWatcher;
  const Loop loops[] = {
      {"poll", poll, poll, [&](const std::function<bool()>& c, double s) { return poll.runUntil(c, s); }},
      {"qt", qt, qtWatcher, [](const std::function<bool()>& c, double s) { return QTest::qWaitFor(c, s * 1000); }}};
  for (const Loop& l : loops) {
    SCOPED_TRACE(l.name);
    std::vector<int> order;
    l.loop.post([&] {
      order.push_back(1);
      l.loop.post([&] { order.push_back(3); });
    });
    l.loop.post([&] { order.push_back(2); });
    EXPECT_TRUE(order.empty());
    ASSERT_TRUE(l.runUntil([&] { return order.size() == 3; }, 5));
    EXPECT_THAT(order, testing::ElementsAre(1, 2, 3));

    int ticks = 0, shots = 0;
    std::weak_ptr<Timer> repeating = l.loop.scheduleTimer(0.005, true, RunLoopMode::Default, [&](Timer& timer) {
      if (++ticks == 3) timer.invalidate();
    });  // the handle is dropped at once; the loop keeps the timer
    std::shared_ptr<Timer> oneShot = l.loop.scheduleTimer(0.001, false, RunLoopMode::Common, [&](Timer&) { ++shots; });
    ASSERT_TRUE(l.runUntil([&] { return ticks >= 3 && shots >= 1; }, 5));
    EXPECT_FALSE(l.runUntil([&] { return ticks > 3 || shots > 1; }, 0.05));
    EXPECT_FALSE(oneShot->isValid());
    EXPECT_TRUE(repeating.expired()) << "the loop lets go of a finished timer";

    int fds[2];
    ASSERT_EQ(pipe(fds), 0);
    std::string received;
    std::unique_ptr<FdWatcher::Watch> watch = l.watcher.watchReadable(fds[0], [&] {
      char c = 0;
      if (read(fds[0], &c, 1) == 1) received += c;
      if (c == 'z') watch.reset();
    });
    ASSERT_EQ(write(fds[1], "az", 2), 2);
    ASSERT_TRUE(l.runUntil([&] { return received == "az"; }, 5));
    ASSERT_EQ(write(fds[1], "b", 1), 1);
    EXPECT_FALSE(l.runUntil([&] { return received != "az"; }, 0.05)) << "called back while watching, never after";
    close(fds[0]);
    close(fds[1]);
  }
}

}  // namespace
}  // namespace quorvelle
