#include "linux/engine_client/engine_trust.h"

#include "linux/engine_client/engine_connection.h"

namespace quorvelle {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

EngineTrust::Answer EngineTrust::ask(std::string* why) const {
  EngineConnection::Absence absence = EngineConnection::Absence::None;
  std::unique_ptr<EngineConnection> connection = EngineConnection::open(socketPath_, why, &absence);
  if (!connection) return absence == EngineConnection::Absence::Missing ? Answer::Missing : Answer::Refused;
  Message hello;
  hello.type = MessageType::Hello;
  std::optional<Message> status = connection->request(hello, MessageType::Status, kAnswerSeconds, why);
  if (!status) return Answer::Refused;
  const auto reason = static_cast<Served>(status->value);
  if (reason == Served::Yes || reason == Served::Busy) return Answer::Served;
  *why = describeServed(reason);
  return Answer::Refused;
}

bool EngineTrust::isTrustedPrompting() {
  std::string why;
  const Answer answer = ask(&why);
  if (answer == Answer::Missing) {
    prompt_.show("the engine service is not installed (" + why + ")");
  } else {
    prompt_.withdraw();
  }
  return answer == Answer::Served;
}

bool EngineTrust::isTrusted() const {
  std::string why;
  const Answer answer = ask(&why);
  if (answer != Answer::Missing) prompt_.withdraw();
  return answer == Answer::Served;
}

}  // namespace quorvelle
