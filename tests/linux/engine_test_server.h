#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <string>
#include <thread>

#include "engine_protocol/protocol.h"

namespace quorvelle::testing_support {

// A service that serves everyone, for tests whose program has no engine
// service linked in (the Qt ones): a real SOCK_SEQPACKET socket at path, on a
// thread of its own, answering every message with Status Yes. The engine's
// own tests run against the real service (tests/service/service_harness.h).
class EngineTestServer {
 public:
  explicit EngineTestServer(const std::string& path) {
    listener_ = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (::bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && ::listen(listener_, 16) == 0) {
      thread_ = std::thread([this] { serve(); });
    }
  }
  ~EngineTestServer() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
    ::close(listener_);
  }

 private:
  // One client at a time: the trust check connects, asks and closes.
  void serve() {
    while (!stop_) {
      pollfd entry{listener_, POLLIN, 0};
      if (::poll(&entry, 1, 20) <= 0) continue;
      const int fd = ::accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
      std::uint8_t wire[engine_protocol::kWireSize];
      pollfd client{fd, POLLIN, 0};
      if (fd >= 0 && ::poll(&client, 1, 1000) > 0 && ::recv(fd, wire, sizeof wire, 0) > 0) {
        engine_protocol::Message status;
        status.type = engine_protocol::MessageType::Status;
        status.value = static_cast<std::uint32_t>(engine_protocol::Served::Yes);
        engine_protocol::encodeMessage(status, wire);
        ::send(fd, wire, sizeof wire, MSG_NOSIGNAL);
      }
      if (fd >= 0) ::close(fd);
    }
  }

  int listener_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
};

}  // namespace quorvelle::testing_support
