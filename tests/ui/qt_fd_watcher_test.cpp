// The Qt fd watcher: callbacks on the event loop, and a watch that ends
// inside its own callback.
#include "ui/qt_fd_watcher.h"

#include <QCoreApplication>
#include <QElapsedTimer>
#include <gtest/gtest.h>
#include <unistd.h>

namespace quorvelle {
namespace {

bool spinUntil(const std::function<bool()>& condition, int limitMs = 5000) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < limitMs) QCoreApplication::processEvents(QEventLoop::AllEvents, 10);
  return condition();
}

TEST(QtFdWatcher, CallsBackWhileWatchingAndNeverAfter) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  QtFdWatcher watcher;
  std::string received;
  std::unique_ptr<FdWatcher::Watch> watch;
  watch = watcher.watchReadable(fds[0], [&] {
    char c = 0;
    if (read(fds[0], &c, 1) == 1) received += c;
    if (c == 'z') watch.reset();  // ends inside its own callback
  });
  ASSERT_EQ(write(fds[1], "a", 1), 1);
  ASSERT_TRUE(spinUntil([&] { return received == "a"; }));
  ASSERT_EQ(write(fds[1], "z", 1), 1);
  ASSERT_TRUE(spinUntil([&] { return received == "az"; }));
  EXPECT_FALSE(watch);
  ASSERT_EQ(write(fds[1], "b", 1), 1);
  spinUntil([] { return false; }, 100);
  EXPECT_EQ(received, "az");
  close(fds[0]);
  close(fds[1]);
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (!qEnvironmentVariableIsSet("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QCoreApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
