// The service on a real listening socket in a temporary folder, with its
// peers identified by the kernel (SO_PEERCRED).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>
#include <sys/wait.h>

#include <cstring>

#include "linux/unprivileged.h"
#include "service/listen_socket.h"
#include "service/service_harness.h"

namespace quorvelle::testing_support {
namespace {

int connectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) return -1;
  return fd;
}

class SocketTest : public ::testing::Test {
 protected:
  void SetUp() override {
    h.plug("event0");
    path = h.dir.file("engine.sock");
    std::string why;
    const std::optional<int> fd = listenAt(path, &why);
    ASSERT_TRUE(fd) << why;
    h.service->listen(*fd);
  }

  ServiceHarness h;
  std::string path;
};

TEST_F(SocketTest, TheActiveUserConnectsAndIsServedOnASocketOpenToAll) {
  struct stat info {};
  ASSERT_EQ(::stat(path.c_str(), &info), 0);
  EXPECT_EQ(info.st_mode & 0777, 0666u) << "who is served is decided per connection";
  const int app = connectTo(path);
  ASSERT_GE(app, 0);
  h.clients.push_back(app);
  EXPECT_EQ(h.request(app, message(MessageType::Start)).flags, 1u);
  EXPECT_TRUE(h.grabbed("event0"));
}

// Another user's process, with the seat user's Quorvelle holding the engine.
TEST_F(SocketTest, AnotherUsersProcessIsRefused) {
  if (::geteuid() != 0) GTEST_SKIP() << "needs root, to run a client as another user (nobody)";
  ASSERT_EQ(::chmod(h.dir.path().c_str(), 0755), 0);
  const int app = connectTo(path);
  h.clients.push_back(app);
  EXPECT_EQ(h.request(app, message(MessageType::Start)).flags, 1u);

  int report[2];
  ASSERT_EQ(::pipe(report), 0);
  const pid_t child = ::fork();
  if (child == 0) {
    ::close(report[0]);
    if (::setgid(kNobody) != 0 || ::setuid(kNobody) != 0) _exit(10);
    const int fd = connectTo(path);
    if (fd < 0) _exit(11);
    timeval limit{10, 0};
    ::setsockopt(fd, SOL_SOCKET, SO_RCVTIMEO, &limit, sizeof limit);
    for (MessageType type : {MessageType::Hello, MessageType::Start, MessageType::CapsLockOff}) {
      if (!sendMessage(fd, message(type))) _exit(12);
      std::uint8_t wire[engine_protocol::kWireSize];
      Message answer;
      do {
        const ssize_t length = ::recv(fd, wire, sizeof wire, 0);
        const std::optional<Message> parsed = engine_protocol::parseMessage(wire, length < 0 ? 0 : length, nullptr);
        if (!parsed) _exit(13);
        answer = *parsed;
      } while (answer.type == MessageType::Ping);
      const std::uint8_t value = static_cast<std::uint8_t>(answer.value);
      if (::write(report[1], &value, 1) != 1) _exit(14);
    }
    _exit(0);
  }
  ::close(report[1]);
  std::string answers;
  bool ended = false;  // the child closed its end: done or failed
  h.loop.runUntil([&] {
    std::uint8_t value;
    while (!ended && ServiceHarness::readable(report[0])) {
      if (::read(report[0], &value, 1) == 1) answers.push_back(static_cast<char>('0' + value));
      else ended = true;
    }
    return ended;
  }, 20.0);
  int status = 0;
  ::waitpid(child, &status, 0);
  ::close(report[0]);
  EXPECT_TRUE(WIFEXITED(status) && WEXITSTATUS(status) == 0) << "child status " << status;
  EXPECT_EQ(answers, "111") << "each refused: not the active session";
  EXPECT_EQ(h.logged("Quorvelle engine: refused user 65534: not the active session"), 1);
  EXPECT_TRUE(h.service->serving());
  EXPECT_EQ(h.request(app, message(MessageType::Hello)).flags, 1u) << "the holder is untouched";
}

}  // namespace
}  // namespace quorvelle::testing_support
