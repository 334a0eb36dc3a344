#pragma once

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <atomic>
#include <cstring>
#include <mutex>
#include <string>
#include <thread>
#include <vector>

#include "engine_protocol/protocol.h"

namespace quorvelle::testing_support {

// The engine service's end of the socket, as far as the clients' tests need
// it: a real SOCK_SEQPACKET socket at path, served on a thread of its own. It
// answers Start and Hello with Status (the reason set by answer(); none while
// silent), SetMapping and CapsLockOff with Yes unless the user is refused, as
// the service does, and records every message, Pongs counted apart.
class EngineTestServer {
 public:
  using Message = engine_protocol::Message;
  using MessageType = engine_protocol::MessageType;
  using Served = engine_protocol::Served;

  explicit EngineTestServer(const std::string& path) {
    listener_ = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
    sockaddr_un address{};
    address.sun_family = AF_UNIX;
    std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) == 0 && listen(listener_, 16) == 0) {
      thread_ = std::thread([this] { serve(); });
    }
  }
  // Shutting the listener down wakes the thread for good.
  ~EngineTestServer() {
    stop_ = true;
    shutdown(listener_, SHUT_RDWR);
    if (thread_.joinable()) thread_.join();
    for (int fd : connections_) close(fd);
    close(listener_);
  }
  bool listening() const { return thread_.joinable(); }

  void answer(Served reason) {
    std::lock_guard lock(mutex_);
    answer_ = reason;
    silent_ = false;
  }
  void beSilent() {
    std::lock_guard lock(mutex_);
    silent_ = true;
  }
  std::vector<Message> received() {
    std::lock_guard lock(mutex_);
    return received_;
  }
  std::vector<MessageType> receivedTypes() {
    std::vector<MessageType> types;
    for (const Message& m : received()) types.push_back(m.type);
    return types;
  }
  void clearReceived() {
    std::lock_guard lock(mutex_);
    received_.clear();
  }
  int pongs() {
    std::lock_guard lock(mutex_);
    return pongs_;
  }
  int accepted() {
    std::lock_guard lock(mutex_);
    return accepted_;
  }
  int open() {
    std::lock_guard lock(mutex_);
    return static_cast<int>(connections_.size());
  }
  void sendToAll(const Message& message) {
    std::lock_guard lock(mutex_);
    for (int fd : connections_) sendTo(fd, message);
  }
  // Ends every connection, as a restarting service does; the thread closes them.
  void closeAll() {
    std::lock_guard lock(mutex_);
    for (int fd : connections_) shutdown(fd, SHUT_RDWR);
  }

 private:
  static void sendTo(int fd, const Message& message) {
    std::uint8_t wire[engine_protocol::kWireSize];
    engine_protocol::encodeMessage(message, wire);
    ::send(fd, wire, sizeof wire, MSG_NOSIGNAL | MSG_DONTWAIT);
  }

  void serve() {
    while (!stop_) {
      std::vector<pollfd> fds = {{listener_, POLLIN, 0}};
      {
        std::lock_guard lock(mutex_);
        for (int fd : connections_) fds.push_back({fd, POLLIN, 0});
      }
      // A connection accepted meanwhile is polled from the next turn.
      if (poll(fds.data(), fds.size(), 20) <= 0) continue;
      if (fds[0].revents && !stop_) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        std::lock_guard lock(mutex_);
        if (fd >= 0) connections_.push_back(fd);
        if (fd >= 0) ++accepted_;
      }
      for (std::size_t i = 1; i < fds.size(); ++i) {
        if (fds[i].revents) readFrom(fds[i].fd);
      }
    }
  }

  void readFrom(int fd) {
    std::uint8_t wire[engine_protocol::kWireSize];
    const ssize_t size = recv(fd, wire, sizeof wire, MSG_DONTWAIT);
    if (size < 0 && errno == EAGAIN) return;
    std::lock_guard lock(mutex_);
    std::optional<Message> message;
    if (size > 0) message = engine_protocol::parseMessage(wire, static_cast<std::size_t>(size), nullptr);
    if (!message) {
      close(fd);
      std::erase(connections_, fd);
      return;
    }
    if (message->type == MessageType::Pong) {
      ++pongs_;
      return;
    }
    received_.push_back(*message);
    const bool request = message->type == MessageType::SetMapping || message->type == MessageType::CapsLockOff;
    if ((message->type == MessageType::Start || message->type == MessageType::Hello || request) && !silent_) {
      Message status;
      status.type = MessageType::Status;
      status.value = static_cast<std::uint32_t>(request && answer_ != Served::NotActiveSession ? Served::Yes : answer_);
      // As the service: a served Start holds the engine.
      status.flags = message->type == MessageType::Start && answer_ == Served::Yes ? 1 : 0;
      sendTo(fd, status);
    }
  }

  int listener_ = -1;
  std::thread thread_;
  std::atomic<bool> stop_ = false;
  std::mutex mutex_;
  std::vector<int> connections_;
  Served answer_ = Served::Yes;
  bool silent_ = false;
  std::vector<Message> received_;
  int pongs_ = 0;
  int accepted_ = 0;
};

}  // namespace quorvelle::testing_support
