// The engine service with the real Linux parts, for the VM tests: the
// service on a poll() run loop with the evdev/uinput tap, and in the same
// process a client of it over a socket pair, as the application is. Driven
// by line commands on standard input, each answered with one line on
// standard output:
//
//   start           -> ok started | error ...   (Start, the Caps Lock -> F18 mapping, Enable)
//   stop            -> ok stopped
//   stats <code>    -> ok repeats <n>   (auto-repeats of the key the handler saw)
//   quit            -> ok bye, after stopping
//
// There is no logind in the VM: the service serves this process's user.
// QUORVELLE_VM_INPUT_DIR replaces /dev/input (the latency benchmark gives it
// a folder that holds only its own source keyboard).
#include <linux/input.h>
#include <sys/socket.h>
#include <unistd.h>

#include <array>
#include <cstdio>
#include <cstdlib>
#include <functional>
#include <initializer_list>
#include <optional>
#include <sstream>
#include <string>

#include "engine_protocol/message_socket.h"
#include "engine_protocol/protocol.h"
#include "linux/input/linux_event_tap_system.h"
#include "linux/process/poll_run_loop.h"
#include "linux/process/system_log.h"
#include "service/engine_service.h"
#include "service/epoll_fd_watcher.h"
#include "service/service_key_mapping.h"

namespace quorvelle {
namespace {

using engine_protocol::Message;
using engine_protocol::MessageType;

// Counts, per key, the key downs the handler receives while the key is
// already down: the input's auto-repeats. Everything else passes through.
class CountingTaps : public EventTapSystem {
 public:
  explicit CountingTaps(EventTapSystem& taps) : taps_(taps) {}

  std::unique_ptr<EventTap> createTap(std::uint64_t mask, EventTapCallback callback, void* userInfo) override {
    callback_ = callback;
    userInfo_ = userInfo;
    down_ = {};
    return taps_.createTap(mask, &CountingTaps::count, this);
  }
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override { return taps_.isKeyPhysicallyDown(keyCode); }
  std::uint16_t hyperKeyCode() const override { return taps_.hyperKeyCode(); }

  unsigned repeats(std::uint16_t keyCode) const { return keyCode < repeats_.size() ? repeats_[keyCode] : 0; }

 private:
  static KeyEvent* count(std::uint32_t type, KeyEvent* event, void* userInfo) {
    auto* self = static_cast<CountingTaps*>(userInfo);
    if ((type == kKeyDownEvent || type == kKeyUpEvent) && event->keyCode < self->down_.size()) {
      if (type == kKeyDownEvent && self->down_[event->keyCode]) ++self->repeats_[event->keyCode];
      self->down_[event->keyCode] = (type == kKeyDownEvent);
    }
    return self->callback_(type, event, self->userInfo_);
  }

  EventTapSystem& taps_;
  EventTapCallback callback_ = nullptr;
  void* userInfo_ = nullptr;
  std::array<bool, 768> down_{};
  std::array<unsigned, 768> repeats_{};
};

// The application's side of the socket: answers pings, and answers a
// command once the service's Status answers to it have come (never waiting
// inside a callback: the loop runs on).
class Client {
 public:
  Client(FdWatcher& watcher, int fd) : fd_(fd) { watch_ = watcher.watchReadable(fd_, [this] { read(); }); }
  // Sends the messages; `done` is called with whether every Status answer
  // said served, and, for a Start, held.
  void request(std::initializer_list<Message> messages, int answers, std::function<void(bool)> done) {
    answersLeft_ = answers;
    allServed_ = true;
    done_ = std::move(done);
    for (const Message& message : messages) allServed_ = sendMessage(fd_, message) && allServed_;
  }

 private:
  void read() {
    for (;;) {
      const Received received = receiveMessage(fd_);
      if (received.kind == Received::Kind::Nothing) return;
      if (received.kind != Received::Kind::Message) {
        watch_.reset();
        finish(false);
        return;
      }
      if (received.message.type == MessageType::Ping) {
        Message pong;
        pong.type = MessageType::Pong;
        sendMessage(fd_, pong);
      } else if (received.message.type == MessageType::Status && answersLeft_ > 0) {
        allServed_ = allServed_ && received.message.value == 0;
        if (--answersLeft_ == 0) finish(allServed_);
      }
    }
  }
  void finish(bool served) {
    answersLeft_ = 0;
    if (auto done = std::move(done_)) {
      done_ = nullptr;
      done(served);
    }
  }

  int fd_;
  std::unique_ptr<FdWatcher::Watch> watch_;
  int answersLeft_ = 0;
  bool allServed_ = true;
  std::function<void(bool)> done_;
};

Message message(MessageType type, std::uint32_t value = 0) {
  Message m;
  m.type = type;
  m.value = value;
  return m;
}

void reply(const std::string& line) {
  std::printf("%s\n", line.c_str());
  std::fflush(stdout);
}

}  // namespace
}  // namespace quorvelle

int main() {
  using namespace quorvelle;
  PollRunLoop loop;
  SystemLog log;
  std::string why;
  std::unique_ptr<EpollFdWatcher> watcher = EpollFdWatcher::create(loop, &why);
  if (!watcher) return 1;
  ServiceKeyMapping mapping;
  LinuxEventTapOptions options;
  if (const char* folder = std::getenv("QUORVELLE_VM_INPUT_DIR")) options.inputDirectory = folder;
  LinuxEventTapSystem taps(*watcher, mapping, log, options);
  taps.watchKeyboardsWith(loop);  // as the service does
  CountingTaps counting(taps);
  FixedSeatUser seat(::getuid());
  EngineServiceOptions serviceOptions;
  serviceOptions.tapSource = &counting;
  EngineService service(loop, *watcher, taps, mapping, seat, log, serviceOptions);
  int fds[2];
  if (socketpair(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0, fds) != 0) return 1;
  service.adopt(fds[0]);
  Client client(*watcher, fds[1]);

  std::string pending;
  auto onCommand = [&](const std::string& line) {
    std::istringstream words(line);
    std::string command;
    words >> command;
    if (command == "start") {
      Message mapping;
      mapping.type = MessageType::SetMapping;
      mapping.translationCount = 1;
      mapping.translations[0] = {KEY_CAPSLOCK, KEY_F18};
      client.request({message(MessageType::Start), mapping, message(MessageType::Enable, 1)}, 2,
                     [&](bool served) { reply(served && service.serving() ? "ok started" : "error start failed"); });
    } else if (command == "stop") {
      client.request({message(MessageType::Stop)}, 1, [](bool) { reply("ok stopped"); });
    } else if (command == "stats") {
      unsigned code = 0;
      words >> code;
      reply("ok repeats " + std::to_string(counting.repeats(static_cast<std::uint16_t>(code))));
    } else if (command == "quit") {
      client.request({message(MessageType::Stop)}, 1, [&](bool) {
        reply("ok bye");
        loop.quit();
      });
    } else {
      reply("error unknown command " + command);
    }
  };
  std::unique_ptr<FdWatcher::Watch> input = watcher->watchReadable(STDIN_FILENO, [&] {
    char buffer[256];
    ssize_t n = read(STDIN_FILENO, buffer, sizeof buffer);
    if (n <= 0) {
      // The driver is gone: the service lets go as it ends.
      loop.quit();
      return;
    }
    pending.append(buffer, static_cast<size_t>(n));
    for (size_t end; (end = pending.find('\n')) != std::string::npos;) {
      std::string line = pending.substr(0, end);
      pending.erase(0, end + 1);
      onCommand(line);
    }
  });
  loop.run();
  return 0;
}
