// Descriptors watched through one epoll instance inside the poll() loop.
#include <gtest/gtest.h>
#include <unistd.h>

#include "linux/process/poll_run_loop.h"
#include "service/epoll_fd_watcher.h"

namespace quorvelle {
namespace {

struct Pipe {
  Pipe() {
    if (::pipe(fds) != 0) std::abort();
  }
  ~Pipe() {
    for (int fd : fds) if (fd >= 0) ::close(fd);
  }
  void poke() {
    if (::write(fds[1], "x", 1) != 1) std::abort();
  }
  void drain() {
    char c;
    if (::read(fds[0], &c, 1) != 1) std::abort();
  }
  int fds[2] = {-1, -1};
};

class EpollFdWatcherTest : public ::testing::Test {
 protected:
  void SetUp() override {
    std::string why;
    watcher = EpollFdWatcher::create(loop, &why);
    ASSERT_TRUE(watcher) << why;
  }
  PollRunLoop loop;
  std::unique_ptr<EpollFdWatcher> watcher;
};

TEST_F(EpollFdWatcherTest, CallsBackUntilTheWatchGoesEvenWhenAnotherCallbackEndsIt) {
  Pipe a, b;
  int calledA = 0, calledB = 0;
  std::unique_ptr<FdWatcher::Watch> watchB;
  auto watchA = watcher->watchReadable(a.fds[0], [&] {
    ++calledA;
    a.drain();
    watchB.reset();  // b is readable in the same dispatch: it must not be called now
  });
  watchB = watcher->watchReadable(b.fds[0], [&] { ++calledB; });
  a.poke();
  b.poke();
  EXPECT_TRUE(loop.runUntil([&] { return calledA == 1; }, 5.0));
  loop.runFor(0.05);
  EXPECT_EQ(calledB, 0);
  watchA.reset();
  a.poke();
  loop.runFor(0.05);
  EXPECT_EQ(calledA, 1);
}

// A number closed and given out again: the old watch's end leaves the new one be.
TEST_F(EpollFdWatcherTest, ANumberGivenOutAgainBelongsToTheNewWatch) {
  auto first = std::make_unique<Pipe>();
  const int number = first->fds[0];
  auto stale = watcher->watchReadable(number, [] { std::abort(); });
  ::close(first->fds[0]);
  first->fds[0] = -1;
  Pipe second;
  ASSERT_EQ(::dup2(second.fds[0], number), number);
  int called = 0;
  auto fresh = watcher->watchReadable(number, [&] {
    ++called;
    char c;
    if (::read(number, &c, 1) != 1) std::abort();
  });
  stale.reset();
  second.poke();
  EXPECT_TRUE(loop.runUntil([&] { return called == 1; }, 5.0));
  fresh.reset();
  ::close(number);
}

}  // namespace
}  // namespace quorvelle
