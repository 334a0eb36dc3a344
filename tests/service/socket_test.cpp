// The service on a real listening socket in a temporary folder, with its
// peers identified by the kernel (SO_PEERCRED). Another user's process is
// refused on the whole system (the acceptance test's socket_abuse).
#include <gtest/gtest.h>
#include <sys/socket.h>
#include <sys/stat.h>
#include <sys/un.h>

#include <cstring>

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

}  // namespace
}  // namespace quorvelle::testing_support
