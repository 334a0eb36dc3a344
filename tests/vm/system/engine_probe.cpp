// The test's own client of the engine service, doing what the application
// never does. It prints one line for the harness:
//   engine_probe hello|start        the service's answer (served, busy, not the
//                                   active session, engine failed) or "ended"
//   engine_probe garbage|oversized  sends one bad message, then answers every
//                                   Ping (so no liveness bound can end it):
//                                   "ended" when the service closed the
//                                   connection within 5 s, "open" if not
//   engine_probe cycles N           N times connect, Hello, wait for the
//                                   Status, close: "N answered"
// Exit status 0 when it could talk to the service at all.
#include "engine_protocol/protocol.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstdio>
#include <cstdlib>
#include <cstring>
#include <string>

namespace protocol = quorvelle::engine_protocol;
using Clock = std::chrono::steady_clock;

namespace {

int connectToService() {
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC, 0);
  if (fd < 0) return -1;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  std::strncpy(address.sun_path, protocol::kSocketPath, sizeof address.sun_path - 1);
  if (connect(fd, reinterpret_cast<sockaddr*>(&address), sizeof address) != 0) {
    std::fprintf(stderr, "engine_probe: connect %s: %s\n", protocol::kSocketPath, std::strerror(errno));
    close(fd);
    return -1;
  }
  return fd;
}

bool sendMessage(int fd, protocol::MessageType type) {
  protocol::Message message;
  message.type = type;
  std::uint8_t wire[protocol::kWireSize];
  protocol::encodeMessage(message, wire);
  return send(fd, wire, sizeof wire, MSG_NOSIGNAL) == static_cast<ssize_t>(sizeof wire);
}

// Reads until a Status arrives (true, in *status), the connection ends or
// the deadline passes (false; *ended says which). Pings are answered.
bool awaitStatus(int fd, Clock::time_point deadline, protocol::Message* status, bool* ended) {
  *ended = false;
  for (;;) {
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(deadline - Clock::now()).count();
    if (left <= 0) return false;
    pollfd waiting{fd, POLLIN, 0};
    if (poll(&waiting, 1, static_cast<int>(left)) <= 0) continue;
    std::uint8_t wire[protocol::kWireSize];
    const ssize_t got = recv(fd, wire, sizeof wire, 0);
    if (got == 0 || (got < 0 && errno == ECONNRESET)) {
      *ended = true;
      return false;
    }
    if (got < 0) continue;
    std::string why;
    const auto message = protocol::parseMessage(wire, static_cast<std::size_t>(got), &why);
    if (!message) {
      std::fprintf(stderr, "engine_probe: the service sent what does not parse: %s\n", why.c_str());
      continue;
    }
    if (message->type == protocol::MessageType::Ping) {
      sendMessage(fd, protocol::MessageType::Pong);
    } else if (message->type == protocol::MessageType::Status) {
      *status = *message;
      return true;
    }
  }
}

const char* servedName(std::uint32_t reason) {
  switch (static_cast<protocol::Served>(reason)) {
    case protocol::Served::Yes: return "served";
    case protocol::Served::NotActiveSession: return "not the active session";
    case protocol::Served::Busy: return "busy";
    case protocol::Served::EngineFailed: return "engine failed";
  }
  return "an unknown reason";
}

int ask(protocol::MessageType type) {
  const int fd = connectToService();
  if (fd < 0) return 1;
  protocol::Message status;
  bool ended = false;
  if (!sendMessage(fd, type)) ended = true;
  const bool answered = !ended && awaitStatus(fd, Clock::now() + std::chrono::seconds(5), &status, &ended);
  std::printf("%s\n", answered ? servedName(status.value) : ended ? "ended" : "no answer");
  close(fd);
  return 0;
}

// A bad message of the kind given; "ended" when the service ends only this.
int misbehave(const std::string& kind) {
  const int fd = connectToService();
  if (fd < 0) return 1;
  std::string wire;
  if (kind == "garbage") {
    wire.assign(protocol::kWireSize, '\xA5');
  } else {
    // A real Hello, but inside a packet far over the fixed size.
    protocol::Message hello;
    std::uint8_t valid[protocol::kWireSize];
    protocol::encodeMessage(hello, valid);
    wire.assign(reinterpret_cast<const char*>(valid), sizeof valid);
    wire.resize(4096, '\0');
  }
  if (send(fd, wire.data(), wire.size(), MSG_NOSIGNAL) != static_cast<ssize_t>(wire.size())) {
    std::printf("ended\n");
    close(fd);
    return 0;
  }
  // Whatever answers come (there should be none), wait for the end.
  const auto deadline = Clock::now() + std::chrono::seconds(5);
  bool ended = false;
  protocol::Message status;
  while (!ended && Clock::now() < deadline) awaitStatus(fd, deadline, &status, &ended);
  std::printf("%s\n", ended ? "ended" : "open");
  close(fd);
  return 0;
}

int cycles(long count) {
  long answered = 0;
  for (long i = 0; i < count; ++i) {
    const int fd = connectToService();
    if (fd < 0) break;
    protocol::Message status;
    bool ended = false;
    if (sendMessage(fd, protocol::MessageType::Hello) &&
        awaitStatus(fd, Clock::now() + std::chrono::seconds(5), &status, &ended))
      ++answered;
    close(fd);
  }
  std::printf("%ld answered\n", answered);
  return answered == count ? 0 : 1;
}

}  // namespace

int main(int argc, char** argv) {
  const std::string what = argc > 1 ? argv[1] : "";
  if (what == "hello") return ask(protocol::MessageType::Hello);
  if (what == "start") return ask(protocol::MessageType::Start);
  if (what == "garbage" || what == "oversized") return misbehave(what);
  if (what == "cycles" && argc > 2) return cycles(std::strtol(argv[2], nullptr, 10));
  std::fprintf(stderr, "usage: engine_probe hello|start|garbage|oversized|cycles N\n");
  return 2;
}
