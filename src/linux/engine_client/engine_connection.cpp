#include "linux/engine_client/engine_connection.h"

#include "engine_protocol/message_socket.h"

#include <poll.h>
#include <sys/socket.h>
#include <sys/un.h>
#include <unistd.h>

#include <cerrno>
#include <chrono>
#include <cstring>

namespace quorvelle {

using engine_protocol::Message;
using engine_protocol::MessageType;

std::string describeServed(engine_protocol::Served reason) {
  switch (reason) {
    case engine_protocol::Served::Yes:
      return "served";
    case engine_protocol::Served::NotActiveSession:
      return "this user does not own the active session of the seat";
    case engine_protocol::Served::Busy:
      return "another Quorvelle of this user holds the engine";
    case engine_protocol::Served::EngineFailed:
      return "the engine service cannot open the keyboards";
  }
  return "reason " + std::to_string(static_cast<std::uint32_t>(reason));
}

std::unique_ptr<EngineConnection> EngineConnection::open(const std::string& path, std::string* why,
                                                         Absence* absence) {
  if (absence) *absence = Absence::Failed;
  sockaddr_un address{};
  address.sun_family = AF_UNIX;
  if (path.size() >= sizeof address.sun_path) {
    *why = path + ": path too long";
    return nullptr;
  }
  std::memcpy(address.sun_path, path.c_str(), path.size() + 1);
  const int fd = socket(AF_UNIX, SOCK_SEQPACKET | SOCK_CLOEXEC | SOCK_NONBLOCK, 0);
  if (fd < 0) {
    *why = std::string("socket: ") + std::strerror(errno);
    return nullptr;
  }
  // A local connect completes at once or fails; with socket activation the
  // service may still be starting, which the first answer waits for.
  if (connect(fd, reinterpret_cast<const sockaddr*>(&address), sizeof address) != 0) {
    const int error = errno;
    close(fd);
    *why = path + ": " + std::strerror(error);
    if (absence && (error == ENOENT || error == ECONNREFUSED)) *absence = Absence::Missing;
    return nullptr;
  }
  if (absence) *absence = Absence::None;
  return std::unique_ptr<EngineConnection>(new EngineConnection(fd));
}

EngineConnection::~EngineConnection() { close(fd_); }

bool EngineConnection::send(const Message& message, std::string* why) {
  if (sendMessage(fd_, message)) return true;
  *why = errno == EAGAIN ? "the engine service is not reading" : std::string("send: ") + std::strerror(errno);
  return false;
}

EngineConnection::Received EngineConnection::receive(Message* message, std::string* why) {
  for (;;) {
    const quorvelle::Received received = receiveMessage(fd_);
    switch (received.kind) {
      case quorvelle::Received::Kind::Nothing:
        return Received::Nothing;
      case quorvelle::Received::Kind::Closed:
        *why = "the engine service closed the connection";
        return Received::Ended;
      case quorvelle::Received::Kind::Invalid:
        *why = "the engine service sent " + received.why;
        return Received::Ended;
      case quorvelle::Received::Kind::Message:
        break;
    }
    if (received.message.type == MessageType::Ping) {
      // A pong that cannot go out (the service has closed, or is not
      // reading) ends nothing yet: what the service sent before must still
      // be read, the mapping among it; the end shows as the end of the stream.
      Message pong;
      pong.type = MessageType::Pong;
      std::string ignored;
      send(pong, &ignored);
      continue;
    }
    *message = received.message;
    return Received::Message;
  }
}

std::optional<Message> EngineConnection::request(const Message& request, MessageType answer, double timeoutSeconds,
                                                 std::string* why) {
  if (!send(request, why)) return std::nullopt;
  const auto end = std::chrono::steady_clock::now() + std::chrono::duration<double>(timeoutSeconds);
  for (;;) {
    Message message;
    switch (receive(&message, why)) {
      case Received::Ended:
        return std::nullopt;
      case Received::Message:
        if (message.type == answer) return message;
        continue;
      case Received::Nothing:
        break;
    }
    const auto left = std::chrono::duration_cast<std::chrono::milliseconds>(end - std::chrono::steady_clock::now());
    if (left.count() <= 0) {
      *why = "the engine service did not answer";
      return std::nullopt;
    }
    pollfd entry{fd_, POLLIN, 0};
    if (poll(&entry, 1, static_cast<int>(left.count())) < 0 && errno != EINTR) {
      *why = std::string("poll: ") + std::strerror(errno);
      return std::nullopt;
    }
  }
}

}  // namespace quorvelle
