#pragma once

#include <poll.h>
#include <sys/eventfd.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cstring>
#include <functional>
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
    if (bind(listener_, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0 || listen(listener_, 16) != 0) {
      close(listener_);
      listener_ = -1;
      return;
    }
    thread_ = std::thread([this] { serve(); });
  }
  ~EngineTestServer() {
    if (thread_.joinable()) {
      run([this] { stop_ = true; });
      thread_.join();
    }
    for (int fd : connections_) close(fd);
    if (listener_ >= 0) close(listener_);
    close(wake_);
  }
  bool listening() const { return listener_ >= 0; }

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
    return open_;
  }
  // Sends to every open connection, on the server's thread.
  void sendToAll(Message message) {
    run([this, message] {
      std::uint8_t wire[engine_protocol::kWireSize];
      engine_protocol::encodeMessage(message, wire);
      for (int fd : connections_) ::send(fd, wire, sizeof wire, MSG_NOSIGNAL);
    });
  }
  // Ends every connection, as a restarting service does.
  void closeAll() {
    run([this] {
      for (int fd : connections_) close(fd);
      connections_.clear();
      std::lock_guard lock(mutex_);
      open_ = 0;
    });
  }

 private:
  void run(std::function<void()> command) {
    {
      std::lock_guard lock(mutex_);
      commands_.push_back(std::move(command));
    }
    const std::uint64_t one = 1;
    (void)!write(wake_, &one, sizeof one);
  }

  void serve() {
    while (!stop_) {
      std::vector<pollfd> fds = {{wake_, POLLIN, 0}, {listener_, POLLIN, 0}};
      for (int fd : connections_) fds.push_back({fd, POLLIN, 0});
      if (poll(fds.data(), fds.size(), -1) < 0) continue;
      if (fds[0].revents) {
        std::uint64_t count;
        (void)!read(wake_, &count, sizeof count);
        std::vector<std::function<void()>> commands;
        {
          std::lock_guard lock(mutex_);
          commands.swap(commands_);
        }
        for (auto& command : commands) command();
        continue;  // the connections may have changed
      }
      if (fds[1].revents) {
        const int fd = accept4(listener_, nullptr, nullptr, SOCK_CLOEXEC);
        if (fd >= 0) {
          connections_.push_back(fd);
          std::lock_guard lock(mutex_);
          ++accepted_;
          ++open_;
        }
      }
      for (std::size_t i = 2; i < fds.size(); ++i) {
        if (fds[i].revents) readFrom(fds[i].fd);
      }
    }
  }

  void readFrom(int fd) {
    std::uint8_t wire[engine_protocol::kWireSize];
    const ssize_t size = recv(fd, wire, sizeof wire, MSG_DONTWAIT);
    std::optional<Message> message;
    if (size > 0) message = engine_protocol::parseMessage(wire, static_cast<std::size_t>(size), nullptr);
    if (!message) {
      if (size < 0 && errno == EAGAIN) return;
      close(fd);
      std::erase(connections_, fd);
      std::lock_guard lock(mutex_);
      --open_;
      return;
    }
    std::lock_guard lock(mutex_);
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
      status.flags = answer_ == Served::Yes && message->type == MessageType::Start;
      engine_protocol::encodeMessage(status, wire);
      ::send(fd, wire, sizeof wire, MSG_NOSIGNAL);
    }
  }

  int listener_ = -1;
  int wake_ = eventfd(0, EFD_CLOEXEC);
  std::thread thread_;
  bool stop_ = false;                // the server thread's
  std::vector<int> connections_;     // the server thread's
  std::mutex mutex_;
  std::vector<std::function<void()>> commands_;
  Served answer_ = Served::Yes;
  bool silent_ = false;
  std::vector<Message> received_;
  int pongs_ = 0;
  int accepted_ = 0;
  int open_ = 0;
};

}  // namespace quorvelle::testing_support
