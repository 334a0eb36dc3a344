#include "service/engine_service.h"

#include <fcntl.h>
#include <sys/socket.h>
#include <unistd.h>

#include <algorithm>

#include "engine_protocol/message_socket.h"

namespace quorvelle {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

namespace {

void setNonBlocking(int fd) {
  const int flags = fcntl(fd, F_GETFL);
  if (flags >= 0 && !(flags & O_NONBLOCK)) fcntl(fd, F_SETFL, flags | O_NONBLOCK);
}

}  // namespace

EngineService::EngineService(RunLoop& loop, FdWatcher& watcher, LinuxEventTapSystem& taps, ServiceKeyMapping& mapping,
                             ActiveSeatUser& seat, Log& log, Options options)
    : loop_(loop),
      watcher_(watcher),
      taps_(taps),
      mapping_(mapping),
      seat_(seat),
      log_(log),
      options_(options),
      handler_(taps) {
  taps_.setPressedByTapListener(&EngineService::pressedByTapChanged, this);
  if (seat_.changeFd() >= 0) seatWatch_ = watcher_.watchReadable(seat_.changeFd(), [this] { seatChanged(); });
  pingTimer_ = loop_.scheduleTimer(options_.pingSeconds, true, RunLoopMode::Common,
                                   [this](Timer&) { checkLiveness(); });
}

EngineService::~EngineService() {
  release("stopped");
  pingTimer_->invalidate();
  taps_.setPressedByTapListener(nullptr, nullptr);
  for (const auto& connection : connections_) ::close(connection->fd);
  connections_.clear();
  listenWatch_.reset();
  if (listenFd_ >= 0) ::close(listenFd_);
  *alive_ = false;
}

void EngineService::listen(int listenFd) {
  listenFd_ = listenFd;
  setNonBlocking(listenFd_);
  listenWatch_ = watcher_.watchReadable(listenFd_, [this] { acceptConnections(); });
}

void EngineService::acceptConnections() {
  for (;;) {
    const int fd = ::accept4(listenFd_, nullptr, nullptr, SOCK_NONBLOCK | SOCK_CLOEXEC);
    if (fd < 0) return;  // EAGAIN: all taken; anything else: the next turn tries again
    adopt(fd);
  }
}

void EngineService::adopt(int fd) {
  const std::optional<uid_t> uid = peerUser(fd);
  // Over the limit, a connection is closed before anything is read from it.
  if (!uid || connections_.size() >= options_.maxConnections) {
    ::close(fd);
    return;
  }
  setNonBlocking(fd);
  auto connection = std::make_unique<Connection>();
  connection->fd = fd;
  connection->uid = *uid;
  connection->lastHeard = loop_.now();
  Connection* raw = connection.get();
  connection->watch = watcher_.watchReadable(fd, [this, raw] { readConnection(*raw); });
  connections_.push_back(std::move(connection));
}

void EngineService::readConnection(Connection& connection) {
  if (connection.failed) return;
  for (;;) {
    const Received received = receiveMessage(connection.fd);
    switch (received.kind) {
      case Received::Kind::Nothing:
        return;
      case Received::Kind::Closed:
        close(connection, "client gone");
        return;
      case Received::Kind::Invalid:
        log_.write("Quorvelle engine: ended a connection: " + received.why);
        close(connection, "client gone");
        return;
      case Received::Kind::Message:
        connection.lastHeard = loop_.now();
        handle(connection, received.message);
        // A message may have ended it (a refused answer that could not go).
        if (!exists(&connection) || connection.failed) return;
        break;
    }
  }
}

void EngineService::handle(Connection& connection, const Message& message) {
  const bool holds = holder_ == &connection;
  switch (message.type) {
    case MessageType::Hello:
      sendStatus(connection);
      break;
    case MessageType::Start:
      start(connection);
      break;
    case MessageType::Enable:
      if (holds) setHandlerEnabled(connection, message.value == 1);
      else sendStatus(connection);
      break;
    case MessageType::Stop:
      if (holds) release("stopped");
      sendStatus(connection);
      break;
    case MessageType::SetModifiers:
      if (holds) handler_.injectedFlags = message.flags;
      else sendStatus(connection);
      break;
    case MessageType::SetMapping:
      setMapping(connection, message);
      break;
    case MessageType::CapsLockOff:
      if (!activeUserIs(connection.uid)) {
        logRefusal(connection);
        sendStatus(connection);
        break;
      }
      taps_.hidSystem().setCapsLockStateOff();
      sendAccepted(connection);
      break;
    case MessageType::Pong:
      break;
    case MessageType::Status:
    case MessageType::Ping:
    case MessageType::Mapping:
    case MessageType::SyntheticKeys:
      log_.write("Quorvelle engine: ended a connection: a message only the service sends");
      close(connection, "client gone");
      break;
  }
}

void EngineService::start(Connection& connection) {
  if (holder_ == nullptr && activeUserIs(connection.uid)) {
    // Events pass unchanged until the client enables the handler; its hold
    // and flags are as new (release resets them).
    EventTapSystem& source = options_.tapSource ? *options_.tapSource : taps_;
    tap_ = source.createTap(kKeyEventMask, &HyperKeyHandler::tapCallback, &handler_);
    if (tap_) {
      holder_ = &connection;
      source_ = tap_->createRunLoopSource();
      source_->addToMainRunLoop();
      log_.write("Quorvelle engine: serving user " + std::to_string(connection.uid));
      sendStatus(connection);
      // A mapping set before the start (the key mapping tool runs first) is
      // the new holder's to know, to set again after a reconnection.
      if (!mapping_.table().empty()) sendMapping(connection);
      return;
    }
    // The virtual keyboard could not be made; the tap system said why.
    Message failed;
    failed.type = MessageType::Status;
    failed.value = static_cast<std::uint32_t>(Served::EngineFailed);
    send(connection, failed);
    return;
  }
  if (servedReason(connection) == Served::NotActiveSession) logRefusal(connection);
  sendStatus(connection);
}

void EngineService::setMapping(Connection& connection, const Message& message) {
  if (!activeUserIs(connection.uid)) {
    logRefusal(connection);
    sendStatus(connection);
    return;
  }
  std::vector<KeyTranslation> table;
  for (std::uint32_t i = 0; i < message.translationCount; ++i) {
    table.push_back({message.translations[i].from, message.translations[i].to});
  }
  mapping_.set(table);
  taps_.refreshTranslations();
  sendAccepted(connection);
  if (holder_ && exists(holder_)) sendMapping(*holder_);
}

bool EngineService::activeUserIs(uid_t uid) {
  const std::optional<uid_t> active = seat_.activeUser();
  return active && *active == uid;
}

Served EngineService::servedReason(const Connection& connection) {
  if (!activeUserIs(connection.uid)) return Served::NotActiveSession;
  if (holder_ && holder_ != &connection) return Served::Busy;
  return Served::Yes;
}

void EngineService::sendStatus(Connection& connection) {
  Message message;
  message.type = MessageType::Status;
  const Served reason = servedReason(connection);
  message.value = static_cast<std::uint32_t>(reason);
  message.flags = holder_ == &connection ? 1 : 0;
  send(connection, message);
}

// The answer to a request any client of the active user may make: done,
// whoever holds the engine.
void EngineService::sendAccepted(Connection& connection) {
  Message message;
  message.type = MessageType::Status;
  message.value = static_cast<std::uint32_t>(Served::Yes);
  message.flags = holder_ == &connection ? 1 : 0;
  send(connection, message);
}

void EngineService::sendMapping(Connection& connection) {
  Message message;
  message.type = MessageType::Mapping;
  const std::vector<KeyTranslation>& table = mapping_.table();
  message.translationCount = static_cast<std::uint32_t>(std::min(table.size(), engine_protocol::kMaxTranslations));
  for (std::uint32_t i = 0; i < message.translationCount; ++i) {
    message.translations[i] = {table[i].from, table[i].to};
  }
  send(connection, message);
}

// Never waits: a client whose buffer is full is closed on the next turn
// (never here, which may be deep in the key path).
void EngineService::send(Connection& connection, const Message& message) {
  if (connection.failed) return;
  if (sendMessage(connection.fd, message)) return;
  connection.failed = true;
  if (closeFailedPosted_) return;
  closeFailedPosted_ = true;
  loop_.post([this, alive = alive_] {
    if (*alive) closeFailed();
  });
}

void EngineService::closeFailed() {
  closeFailedPosted_ = false;
  for (;;) {
    auto it = std::find_if(connections_.begin(), connections_.end(), [](const auto& c) { return c->failed; });
    if (it == connections_.end()) return;
    close(**it, "client not answering");
  }
}

void EngineService::logRefusal(Connection& connection) {
  if (connection.refusalLogged) return;
  connection.refusalLogged = true;
  log_.write("Quorvelle engine: refused user " + std::to_string(connection.uid) + ": not the active session");
}

void EngineService::setHandlerEnabled(const Connection& connection, bool enabled) {
  tap_->setEnabled(enabled);
  if (enabled == handlerEnabled_) return;
  handlerEnabled_ = enabled;
  // The application enables the handler last, once the key mapping is in
  // place: from this line on, Caps Lock is the hyper key.
  log_.write(std::string("Quorvelle engine: hyper key ") + (enabled ? "on" : "off") + " for user " +
             std::to_string(connection.uid));
}

void EngineService::release(const char* reason) {
  if (!tap_) return;
  handlerEnabled_ = false;
  // The tap's end ungrabs every keyboard and destroys the virtual devices,
  // synthetic modifiers released first.
  source_.reset();
  tap_.reset();
  handler_.reset();
  handler_.injectedFlags = kDefaultHyperFlags;
  mapping_.clear();
  holder_ = nullptr;
  log_.write(std::string("Quorvelle engine: released: ") + reason);
}

void EngineService::close(Connection& connection, const char* releaseReason) {
  if (holder_ == &connection) release(releaseReason);
  ::close(connection.fd);
  std::erase_if(connections_, [&](const auto& entry) { return entry.get() == &connection; });
}

bool EngineService::exists(const Connection* connection) const {
  return std::any_of(connections_.begin(), connections_.end(),
                     [&](const auto& entry) { return entry.get() == connection; });
}

void EngineService::checkLiveness() {
  const double now = loop_.now();
  std::vector<Connection*> silent;
  for (const auto& connection : connections_) {
    if (now - connection->lastHeard > options_.silenceSeconds) silent.push_back(connection.get());
  }
  for (Connection* connection : silent) {
    // The service may be the one that was late: read what waits first.
    if (exists(connection)) readConnection(*connection);
    if (exists(connection) && now - connection->lastHeard > options_.silenceSeconds) {
      close(*connection, "client not answering");
    }
  }
  Message ping;
  ping.type = MessageType::Ping;
  for (const auto& connection : connections_) send(*connection, ping);
}

void EngineService::seatChanged() {
  seat_.changeSeen();
  if (!holder_ || activeUserIs(holder_->uid)) return;
  Connection& holder = *holder_;
  release("session changed");
  // Told why, then closed: its client connects again and is served once its
  // user's session is the active one again.
  sendStatus(holder);
  close(holder, "session changed");
}

void EngineService::pressedByTapChanged(unsigned bits, void* context) {
  auto* service = static_cast<EngineService*>(context);
  if (!service->holder_) return;
  Message message;
  message.type = MessageType::SyntheticKeys;
  message.flags = bits;
  service->send(*service->holder_, message);
}

}  // namespace quorvelle
