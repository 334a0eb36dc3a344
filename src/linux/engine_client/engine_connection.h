#pragma once

#include <memory>
#include <optional>
#include <string>

#include "engine_protocol/protocol.h"

namespace quorvelle {

// What a Served reason means, for log lines and messages.
std::string describeServed(engine_protocol::Served reason);

// One connection to the engine service's socket. Nothing here waits except
// request(), and that only up to the time it is given. Pings are answered as
// they are read and never handed on.
class EngineConnection {
 public:
  // How opening ended when it failed.
  enum class Absence { None, Missing, Failed };

  // nullptr when it cannot connect; *why says why, and *absence whether the
  // service is missing (no socket, nobody listening) or something else failed.
  static std::unique_ptr<EngineConnection> open(const std::string& path, std::string* why,
                                                Absence* absence = nullptr);
  ~EngineConnection();
  EngineConnection(const EngineConnection&) = delete;
  EngineConnection& operator=(const EngineConnection&) = delete;

  int fd() const { return fd_; }

  // False, with *why, when the message cannot go out at once: the service is
  // gone or not reading.
  bool send(const engine_protocol::Message& message, std::string* why);

  enum class Received { Message, Nothing, Ended };
  // The next message that has arrived, without waiting. Ended: the service
  // closed the connection or sent what does not parse (*why says which).
  Received receive(engine_protocol::Message* message, std::string* why);

  // Sends request and waits at most timeoutSeconds for a message of type
  // answer. Anything else arriving before it is dropped (nothing but Pings
  // comes before an answer). nullopt, with *why, otherwise.
  std::optional<engine_protocol::Message> request(const engine_protocol::Message& request,
                                                  engine_protocol::MessageType answer, double timeoutSeconds,
                                                  std::string* why);

 private:
  explicit EngineConnection(int fd) : fd_(fd) {}
  const int fd_;
};

}  // namespace quorvelle
