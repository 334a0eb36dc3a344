#pragma once

#include <fcntl.h>
#include <poll.h>
#include <sys/ioctl.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <algorithm>
#include <atomic>
#include <cstring>
#include <fstream>
#include <memory>
#include <optional>
#include <string>
#include <thread>
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
#include "service/listen_socket.h"
#include "service/service_key_mapping.h"
#include "sim/sim_input_devices.h"
#include "sim/sim_services.h"

namespace quorvelle::testing_support {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

// seat0's active user as the test sets it (-1: no one's session); a switch
// wakes the service through a pipe, as logind's monitor does through its
// descriptor. Atomic: the service may run on a thread of its own.
class FakeSeatUser : public ActiveSeatUser {
 public:
  explicit FakeSeatUser(long long active) : active_(active) {
    if (::pipe2(fds_, O_NONBLOCK | O_CLOEXEC) != 0) std::abort();
  }
  ~FakeSeatUser() override {
    ::close(fds_[0]);
    ::close(fds_[1]);
  }
  std::optional<uid_t> activeUser() override {
    const long long active = active_;
    return active < 0 ? std::nullopt : std::optional<uid_t>(static_cast<uid_t>(active));
  }
  int changeFd() const override { return fds_[0]; }
  void changeSeen() override {
    char buffer[64];
    while (::read(fds_[0], buffer, sizeof buffer) > 0) {
    }
  }
  void switchTo(long long active) {
    active_ = active;
    if (::write(fds_[1], "x", 1) != 1) std::abort();
  }

 private:
  std::atomic<long long> active_;
  int fds_[2];
};

inline Message message(MessageType type, std::uint32_t value = 0, std::uint64_t flags = 0) {
  Message m;
  m.type = type;
  m.value = value;
  m.flags = flags;
  return m;
}

inline Message mappingMessage(const std::vector<engine_protocol::KeyTranslationPair>& pairs) {
  Message m;
  m.type = MessageType::SetMapping;
  m.translationCount = static_cast<std::uint32_t>(pairs.size());
  std::copy(pairs.begin(), pairs.end(), m.translations);
  return m;
}

inline int connectTo(const std::string& path) {
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, path.c_str(), sizeof address.sun_path - 1);
  const int fd = ::socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0 || ::connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) std::abort();
  return fd;
}

// The next message of the type on a client's socket, waiting without a run
// loop (the service runs on a thread); nullopt when it does not come.
inline std::optional<Message> awaitMessage(int fd, MessageType type) {
  for (pollfd entry{fd, POLLIN, 0}; ::poll(&entry, 1, 10000) > 0;) {
    const Received received = receiveMessage(fd);
    if (received.kind == Received::Kind::Closed) return std::nullopt;
    if (received.kind == Received::Kind::Message && received.message.type == type) return received.message;
  }
  return std::nullopt;
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

  // The service's socket in the test's folder, as it listens when run by hand.
  std::string listen() {
    std::string why;
    const std::optional<int> fd = listenAt(dir.file("engine.sock"), &why);
    if (!fd) std::abort();
    service->listen(*fd);
    return dir.file("engine.sock");
  }
  // A client connected as this process's user; the test's end.
  int connect() {
    int fds[2];
    if (::socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) std::abort();
    service->adopt(fds[0]);
    clients.push_back(fds[1]);
    return fds[1];
  }
  void send(int client, const Message& m) {
    if (!sendMessage(client, m)) std::abort();
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
  // Events on a keyboard, then the loop runs until the tap has read every
  // grabbed keyboard. Keys typed on a keyboard the service let go of reach no one.
  void type(const std::string& node, const std::vector<input_event>& events) {
    if (device(node).closed) return;
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

// The service's loop on a thread of its own, for clients that wait for its
// answers (the application's side blocks on them). The test touches the
// harness only between pause() and resume(); the loop's timers wake it.
class ServiceThread {
 public:
  explicit ServiceThread(ServiceHarness& h) : h_(h) { resume(); }
  ~ServiceThread() { pause(); }
  void resume() {
    stop_ = false;
    thread_ = std::thread([this] { h_.loop.runUntil([this] { return stop_.load(); }, 600); });
  }
  void pause() {
    stop_ = true;
    if (thread_.joinable()) thread_.join();
  }

 private:
  ServiceHarness& h_;
  std::atomic<bool> stop_ = false;
  std::thread thread_;
};

}  // namespace quorvelle::testing_support
