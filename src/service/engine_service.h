#pragma once

#include <sys/types.h>

#include <cstddef>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "engine/hyper_key_handler.h"
#include "engine_protocol/protocol.h"
#include "linux/input/linux_event_tap_system.h"
#include "linux/process/fd_watcher.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "service/active_seat_user.h"
#include "service/service_key_mapping.h"

namespace quorvelle {

struct EngineServiceOptions {
  // Every connection is pinged this often...
  double pingSeconds = 0.5;
  // ...and closed when it has sent nothing for this long: long enough for an
  // application starting on a busy machine, whose thread may be busy for
  // seconds; a holder let go loses the hyper key until it reconnects.
  double silenceSeconds = 5.0;
  std::size_t maxConnections = 16;
  // Where the tap comes from, when not from the tap system itself: a wrapper
  // that watches what the handler is given (the VM tests count repeats).
  EventTapSystem* tapSource = nullptr;
};

// The engine service's rules: whom it serves, what each message does, when
// it lets go. The keyboards are the tap system's; the rules for keys are the
// hyper key handler's. Everything runs on one run loop, which never waits on
// a client.
class EngineService {
 public:
  using Options = EngineServiceOptions;

  // taps' pressed-by-tap listener and remapper are the service's from now
  // on: taps must have been made with mapping as its remapper.
  EngineService(RunLoop& loop, FdWatcher& watcher, LinuxEventTapSystem& taps, ServiceKeyMapping& mapping,
                ActiveSeatUser& seat, Log& log, Options options = {});
  // Lets go of everything ("stopped") and closes every connection.
  ~EngineService();
  EngineService(const EngineService&) = delete;
  EngineService& operator=(const EngineService&) = delete;

  // Accepts connections on a listening socket, which it owns from now.
  void listen(int listenFd);
  // Serves a connected socket as if it had been accepted; owns it from now.
  void adopt(int fd);
  // Lets go of everything, as when the service stops.
  void stop() { release("stopped"); }

  bool serving() const { return tap_ != nullptr; }
  std::size_t connectionCount() const { return connections_.size(); }

 private:
  struct Connection {
    int fd = -1;
    uid_t uid = 0;
    double lastHeard = 0;
    bool refusalLogged = false;
    bool failed = false;  // a send failed: closed on the next turn
    std::unique_ptr<FdWatcher::Watch> watch;
  };

  void acceptConnections();
  void readConnection(Connection& connection);
  void handle(Connection& connection, const engine_protocol::Message& message);
  void start(Connection& connection);
  void setHandlerEnabled(const Connection& connection, bool enabled);
  void setMapping(Connection& connection, const engine_protocol::Message& message);
  bool activeUserIs(uid_t uid);
  engine_protocol::Served servedReason(const Connection& connection);
  void sendStatus(Connection& connection);
  void sendAccepted(Connection& connection);
  void sendMapping(Connection& connection);
  void send(Connection& connection, const engine_protocol::Message& message);
  void logRefusal(Connection& connection);
  void release(const char* reason);
  void close(Connection& connection, const char* releaseReason);
  void closeFailed();
  void checkLiveness();
  void seatChanged();
  bool exists(const Connection* connection) const;
  static void pressedByTapChanged(unsigned bits, void* service);

  RunLoop& loop_;
  FdWatcher& watcher_;
  LinuxEventTapSystem& taps_;
  ServiceKeyMapping& mapping_;
  ActiveSeatUser& seat_;
  Log& log_;
  const Options options_;
  HyperKeyHandler handler_;

  int listenFd_ = -1;
  std::unique_ptr<FdWatcher::Watch> listenWatch_;
  std::unique_ptr<FdWatcher::Watch> seatWatch_;
  std::shared_ptr<Timer> pingTimer_;
  std::vector<std::unique_ptr<Connection>> connections_;
  bool closeFailedPosted_ = false;
  // Tasks posted to the loop run only while the service exists.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);

  // The engine, while a client holds it.
  Connection* holder_ = nullptr;
  std::unique_ptr<EventTap> tap_;
  std::unique_ptr<RunLoopSource> source_;
  bool handlerEnabled_ = false;
};

}  // namespace quorvelle
