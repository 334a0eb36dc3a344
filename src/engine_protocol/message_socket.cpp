#include "engine_protocol/message_socket.h"

#include <errno.h>
#include <poll.h>
#include <sys/socket.h>

namespace quorvelle {

using engine_protocol::kWireSize;

bool sendMessage(int fd, const engine_protocol::Message& message) {
  std::uint8_t wire[kWireSize];
  engine_protocol::encodeMessage(message, wire);
  ssize_t sent;
  do {
    sent = ::send(fd, wire, sizeof wire, MSG_DONTWAIT | MSG_NOSIGNAL);
  } while (sent < 0 && errno == EINTR);
  return sent == static_cast<ssize_t>(sizeof wire);
}

Received receiveMessage(int fd) {
  Received received;
  std::uint8_t wire[kWireSize];
  ssize_t length;
  do {
    // MSG_TRUNC: the packet's whole length, so an oversized one is told apart.
    length = ::recv(fd, wire, sizeof wire, MSG_DONTWAIT | MSG_TRUNC);
    // A peer that closed with messages of ours unread resets the connection:
    // the kernel says so once, before what the peer sent is read.
  } while (length < 0 && (errno == EINTR || errno == ECONNRESET));
  if (length < 0) {
    received.kind = errno == EAGAIN || errno == EWOULDBLOCK ? Received::Kind::Nothing : Received::Kind::Closed;
    return received;
  }
  if (length == 0) {
    // The end of the stream, or an empty packet: only a hang-up says which.
    pollfd entry{fd, POLLRDHUP, 0};
    const bool hungUp = ::poll(&entry, 1, 0) > 0 && (entry.revents & (POLLRDHUP | POLLHUP));
    received.kind = hungUp ? Received::Kind::Closed : Received::Kind::Invalid;
    received.why = "a message of 0 bytes";
    return received;
  }
  const std::optional<engine_protocol::Message> message =
      engine_protocol::parseMessage(wire, static_cast<std::size_t>(length), &received.why);
  if (!message) {
    received.kind = Received::Kind::Invalid;
    return received;
  }
  received.kind = Received::Kind::Message;
  received.message = *message;
  return received;
}

std::optional<uid_t> peerUser(int fd) {
  ucred credentials{};
  socklen_t size = sizeof credentials;
  if (::getsockopt(fd, SOL_SOCKET, SO_PEERCRED, &credentials, &size) != 0 || size != sizeof credentials) {
    return std::nullopt;
  }
  return credentials.uid;
}

}  // namespace quorvelle
