#pragma once

#include <sys/types.h>

#include <cstdint>
#include <optional>
#include <string>

#include "engine_protocol/protocol.h"

namespace quorvelle {

// One message at a time over a connected SOCK_SEQPACKET socket, never
// blocking.

// False when the message could not go at once (a full buffer, the peer gone).
bool sendMessage(int fd, const engine_protocol::Message& message);

struct Received {
  enum class Kind {
    Message,  // message holds it
    Nothing,  // nothing waiting now
    Closed,   // the peer hung up
    Invalid,  // a message that does not parse (why says how); the size is told even when oversized
  };
  Kind kind = Kind::Nothing;
  engine_protocol::Message message;
  std::string why;
};
Received receiveMessage(int fd);

// The peer's user, from SO_PEERCRED.
std::optional<uid_t> peerUser(int fd);

}  // namespace quorvelle
