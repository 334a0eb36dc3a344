#include "linux/engine_client/engine_tap.h"

#include "engine_protocol/modifier_keys.h"
#include "linux/engine_client/engine_tap_system.h"

namespace quorvelle {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

namespace {

Message message(MessageType type, std::uint32_t value = 0, std::uint64_t flags = 0) {
  Message m;
  m.type = type;
  m.value = value;
  m.flags = flags;
  return m;
}

// The keys are read in the service; the core still adds and removes a source.
class NoRunLoopSource : public RunLoopSource {
 public:
  void addToMainRunLoop() override {}
  void removeFromMainRunLoop() override {}
};

}  // namespace

EngineTap::EngineTap(EngineTapSystem& system, RunLoop& loop, FdWatcher& watcher, Log& log, std::string socketPath)
    : system_(system), loop_(loop), watcher_(watcher), log_(log), socketPath_(std::move(socketPath)) {}

EngineTap::~EngineTap() {
  if (retryTimer_) retryTimer_->invalidate();
  // Closing alone would release the engine too; Stop says it was meant.
  std::string ignored;
  if (served_) connection_->send(message(MessageType::Stop), &ignored);
  watch_.reset();
  connection_.reset();
  system_.tapGone(this);
}

void EngineTap::adopt(std::unique_ptr<EngineConnection> connection, Served reason) {
  connection_ = std::move(connection);
  if (reason != Served::Yes) {
    lose(describeServed(reason));
    return;
  }
  served_ = true;
  watch_ = watcher_.watchReadable(connection_->fd(), [this] { readMessages(); });
}

void EngineTap::setEnabled(bool enabled) {
  enabled_ = enabled;
  send(message(MessageType::Enable, enabled ? 1 : 0));
}

std::unique_ptr<RunLoopSource> EngineTap::createRunLoopSource() { return std::make_unique<NoRunLoopSource>(); }

void EngineTap::setInjectedFlags(ModifierFlags flags) {
  flags_ = flags;
  send(message(MessageType::SetModifiers, 0, flags));
}

bool EngineTap::switchCapsLockOff() {
  if (!served_) return false;
  send(message(MessageType::CapsLockOff));
  return true;
}

bool EngineTap::isPressedByTap(std::uint16_t keyCode) {
  // Sent before the key went to the display server, so it is here by now.
  if (connection_) readMessages();
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if (kModifierKeys[i].left == keyCode) return (syntheticKeys_ >> i) & 1u;
  }
  return false;
}

void EngineTap::readMessages() {
  while (connection_) {
    Message received;
    std::string why;
    switch (connection_->receive(&received, &why)) {
      case EngineConnection::Received::Message:
        handle(received);
        break;
      case EngineConnection::Received::Nothing:
        return;
      case EngineConnection::Received::Ended: {
        const bool wasServed = served_;
        lose(why);
        // A restarted service is there again at once (its socket stays open):
        // the first try does not wait for the timer.
        if (wasServed) retry();
        return;
      }
    }
  }
}

void EngineTap::handle(const Message& received) {
  switch (received.type) {
    case MessageType::Status: {
      const auto reason = static_cast<Served>(received.value);
      const bool holds = received.flags & 1u;
      if (reason != Served::Yes) {
        lose(describeServed(reason));
      } else if (!served_ && !holds) {
        // The answer to the retry's Hello: this user would be served now.
        std::string why;
        if (!connection_->send(message(MessageType::Start), &why)) lose(why);
      } else if (!served_) {
        served();
      }
      break;
    }
    case MessageType::Mapping:
      mapping_ = received;
      mapping_.type = MessageType::SetMapping;
      haveMapping_ = true;
      break;
    case MessageType::SyntheticKeys:
      syntheticKeys_ = received.flags;
      break;
    default:
      break;
  }
}

void EngineTap::served() {
  served_ = true;
  if (retryTimer_) retryTimer_->invalidate();
  retryTimer_.reset();
  if (!lastProblem_.empty()) log_.write("Quorvelle: the engine service serves this process again");
  lastProblem_.clear();
  send(message(MessageType::SetModifiers, 0, flags_));
  if (haveMapping_) send(mapping_);
  if (enabled_) send(message(MessageType::Enable, 1));
}

void EngineTap::lose(const std::string& why) {
  served_ = false;
  syntheticKeys_ = 0;
  watch_.reset();
  connection_.reset();
  if (why != lastProblem_) {
    log_.write("Quorvelle: not served by the engine service (" + why + "); trying again every second");
    lastProblem_ = why;
  }
  if (!retryTimer_ || !retryTimer_->isValid()) {
    retryTimer_ = loop_.scheduleTimer(kRetrySeconds, /*repeats=*/true, RunLoopMode::Common,
                                      [this](Timer&) { retry(); });
  }
}

void EngineTap::retry() {
  watch_.reset();
  connection_.reset();
  std::string why;
  connection_ = EngineConnection::open(socketPath_, &why);
  // Hello first: the service logs a refused Start, and while another user's
  // session is in front this runs every second.
  if (!connection_ || !connection_->send(message(MessageType::Hello), &why)) {
    connection_.reset();
    if (why != lastProblem_) log_.write("Quorvelle: not served by the engine service (" + why + ")");
    lastProblem_ = why;
    return;
  }
  // The answer comes on the run loop; a retry before it starts over.
  watch_ = watcher_.watchReadable(connection_->fd(), [this] { readMessages(); });
}

void EngineTap::send(const Message& out) {
  if (!served_ || !connection_) return;
  std::string why;
  if (!connection_->send(out, &why)) lose(why);
}

}  // namespace quorvelle
