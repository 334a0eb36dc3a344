// The Qt fd watcher: callbacks on the event loop, and a watch that ends
// inside its own callback.
#include "ui/qt_fd_watcher.h"

#include <QCoreApplication>
#include <gtest/gtest.h>
#include <unistd.h>

#include "qt_wait.h"

namespace quorvelle {
namespace {

using testing_support::waitFor;

TEST(QtFdWatcher, CallsBackWhileWatchingAndNeverAfter) {
  int fds[2];
  ASSERT_EQ(pipe(fds), 0);
  QtFdWatcher watcher;
  std::string received;
  std::unique_ptr<FdWatcher::Watch> watch = watcher.watchReadable(fds[0], [&] {
    char c = 0;
    if (read(fds[0], &c, 1) == 1) received += c;
    if (c == 'z') watch.reset();
  });
  ASSERT_EQ(write(fds[1], "az", 2), 2);
  ASSERT_TRUE(waitFor([&] { return received == "az"; }));
  ASSERT_EQ(write(fds[1], "b", 1), 1);
  EXPECT_FALSE(waitFor([&] { return received != "az"; }, 100));
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
