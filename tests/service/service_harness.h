#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine_protocol/message_socket.h"
#include "engine_protocol/protocol.h"
#include "linux/input/linux_event_tap_system.h"
#include "linux/input_frames.h"
#include "linux/process/poll_run_loop.h"
#include "linux/temp_dir.h"
#include "service/active_seat_user.h"
#include "service/engine_service.h"
#include "service/epoll_fd_watcher.h"
#include "service/service_key_mapping.h"
#include "sim/sim_input_devices.h"
#include "sim/sim_services.h"

namespace quorvelle::testing_support {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

// seat0's active user as the test sets it; a switch wakes the service
// through a pipe, as logind's monitor does through its descriptor.
class FakeSeatUser : public ActiveSeatUser {
 public:
  explicit FakeSeatUser(std::optional<uid_t> active) : active_(active) {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) std::abort();
  }
  ~FakeSeatUser() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  std::optional<uid_t> activeUser() override { return active_; }
  int changeFd() const override { return fds_[0]; }
  void changeSeen() override {
    char buffer[64];
    while (::read(fds_[0], buffer, sizeof buffer) > 0) {
    }
  }
  void switchTo(std::optional<uid_t> active) {
    active_ = active;
    if (::write(fds_[1], "x", 1) != 1) std::abort();
  }

 private:
  std::optional<uid_t> active_;
  int fds_[2];
};

inline Message message(MessageType type, std::uint32_t value = 0, std::uint64_t flags = 0) {
  Message m;
  m.type = type;
  m.value = value;
  m.flags = flags;
  return m;
}

inline Message mappingMessage(MessageType type, const std::vector<engine_protocol::KeyTranslationPair>& pairs) {
  Message m;
  m.type = type;
  m.translationCount = static_cast<std::uint32_t>(pairs.size());
  std::copy(pairs.begin(), pairs.end(), m.translations);
  return m;
}

// The service with the real tap over socket pairs (sim input devices), a real
// poll() run loop, and clients on socket pairs of this process's user.
class ServiceHarness {
 public:
  explicit ServiceHarness(EngineServiceOptions options = {}, double quietWaitSeconds = 0.05) : seat(::getuid()) {
    LinuxEventTapOptions tapOptions;
    tapOptions.inputDirectory = dir.path();
    tapOptions.quietWaitSeconds = quietWaitSeconds;
    tapOptions.capsLockWaitSeconds = 0.05;
    auto owned = std::make_unique<sim::SimInputDevices>();
    devices = owned.get();
    // Watched as the service's main does: the keyboards by the loop, the rest through epoll.
    std::string why;
    watcher = EpollFdWatcher::create(loop, &why);
    if (!watcher) std::abort();
    taps = std::make_unique<LinuxEventTapSystem>(*watcher, mapping, log, tapOptions, std::move(owned));
    taps->watchKeyboardsWith(loop);
    service = std::make_unique<EngineService>(loop, *watcher, *taps, mapping, seat, log, options);
  }
  ~ServiceHarness() {
    service.reset();
    taps.reset();
    for (int fd : clients) ::close(fd);
  }

  // A client connected as this process's user; the test's end.
  int connect() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    service->adopt(fds[0]);
    clients.push_back(fds[1]);
    return fds[1];
  }
  // The client goes away, as a killed process's socket does.
  void hangUp(int client) {
    ::close(client);
    std::erase(clients, client);
  }
  void send(int client, const Message& m) {
    if (!sendMessage(client, m)) std::abort();
  }
  void sendBytes(int client, const std::vector<std::uint8_t>& bytes) {
    if (::send(client, bytes.data(), bytes.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(bytes.size())) std::abort();
  }
  // The next message to the client other than a Ping, running the loop until
  // it comes; nullopt when the service closed the connection instead.
  std::optional<Message> next(int client) {
    for (;;) {
      if (!loop.runUntil([&] { return readable(client); }, 5.0)) std::abort();
      const Received received = receiveMessage(client);
      if (received.kind == Received::Kind::Closed) return std::nullopt;
      if (received.kind != Received::Kind::Message) std::abort();
      if (received.message.type != MessageType::Ping) return received.message;
    }
  }
  // Runs until the service has closed the client's connection; false if it never does.
  bool closedByService(int client, double seconds = 5.0) {
    return loop.runUntil([&] {
      for (;;) {
        const Received received = receiveMessage(client);
        if (received.kind == Received::Kind::Closed) return true;
        if (received.kind != Received::Kind::Message) return false;
      }
    }, seconds);
  }
  // Sends a request and returns the service's Status answer.
  Message request(int client, const Message& m) {
    send(client, m);
    std::optional<Message> answer = next(client);
    while (answer && answer->type != MessageType::Status) answer = next(client);
    if (!answer) std::abort();
    return *answer;
  }
  void startAndEnable(int client) {
    const Message status = request(client, message(MessageType::Start));
    if (status.value != static_cast<std::uint32_t>(Served::Yes) || status.flags != 1) std::abort();
    send(client, message(MessageType::Enable, 1));
    loop.runFor(0.01);
  }

  sim::SimInputDevices::Device& plug(const std::string& node) {
    sim::SimInputDevices::Device& device = devices->add(dir.file(node));
    std::ofstream(dir.file(node)).put('\n');
    return device;
  }
  sim::SimInputDevices::Device& device(const std::string& node) { return *devices->devices.at(dir.file(node)); }
  // Keys typed on a keyboard the service let go of reach no one here.
  void type(const std::string& node, std::uint16_t code, std::int32_t value) {
    if (device(node).closed) return;
    testing_support::send(device(node).testFd, frame(code, value));
    loop.runUntil([&] {
      int waiting = 0;
      return device(node).closed || (::ioctl(device(node).tapFd, FIONREAD, &waiting) == 0 && waiting == 0);
    }, 5.0);
  }
  // Raw events on a keyboard, then the loop runs until the tap has read
  // every grabbed keyboard; it handles what it reads at once.
  void type(const std::string& node, const std::vector<input_event>& events) {
    testing_support::send(device(node).testFd, events);
    pump();
  }
  void pump() {
    const bool done = loop.runUntil([this] {
      int waiting = 0;
      for (auto& [path, d] : devices->devices) {
        if (d->grabbed && ::ioctl(d->tapFd, FIONREAD, &waiting) == 0 && waiting > 0) return false;
      }
      return devices->virtualDestroyed || ::ioctl(devices->virtualFd, FIONREAD, &waiting) != 0 || waiting == 0;
    }, 5.0);
    if (!done) std::abort();
  }
  // Everything written to the virtual keyboard since the last call.
  std::vector<std::string> output() { return receive(devices->virtualTestFd, &writes); }
  bool grabbed(const std::string& node) { return device(node).grabbed; }
  int logged(const std::string& line) const { return static_cast<int>(std::count(log.lines.begin(), log.lines.end(), line)); }

  static bool readable(int fd) {
    pollfd entry{fd, POLLIN, 0};
    return ::poll(&entry, 1, 0) > 0;
  }

  TempDir dir;
  PollRunLoop loop;
  sim::SimInputDevices* devices;
  ServiceKeyMapping mapping;
  sim::RecordingLog log;
  FakeSeatUser seat;
  std::unique_ptr<EpollFdWatcher> watcher;
  std::unique_ptr<LinuxEventTapSystem> taps;
  std::unique_ptr<EngineService> service;
  std::vector<int> clients;
  int writes = 0;  // by the tap, in what output() returned last
};

}  // namespace quorvelle::testing_support
