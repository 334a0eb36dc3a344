#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine_protocol/protocol.h"
#include "linux/engine_client/engine_connection.h"
#include "linux/process/fd_watcher.h"
#include "platform/event_tap.h"
#include "platform/log.h"
#include "platform/run_loop.h"

namespace quorvelle {

class EngineTapSystem;

// The event tap as a client of the engine service, which reads the keyboards
// and runs the hyper key handler itself. It holds the engine while it exists:
// when the connection ends (the service restarted, or let go of a process that
// did not answer) or the engine is busy, it tries again every second in the
// background and, once served, replays Start, the modifier set, the last key
// mapping and Enable.
class EngineTap : public EventTap {
 public:
  EngineTap(EngineTapSystem& system, RunLoop& loop, FdWatcher& watcher, Log& log, std::string socketPath);
  ~EngineTap() override;
  EngineTap(const EngineTap&) = delete;
  EngineTap& operator=(const EngineTap&) = delete;

  // Takes the connection whose Start was answered with reason.
  void adopt(std::unique_ptr<EngineConnection> connection, engine_protocol::Served reason);

  void setEnabled(bool enabled) override;
  // The keys are read in the service: there is nothing to add to this run loop.
  std::unique_ptr<RunLoopSource> createRunLoopSource() override;
  void setInjectedFlags(ModifierFlags flags) override;

  bool isServed() const { return served_; }
  // False when not served now.
  bool switchCapsLockOff();
  // From the last SyntheticKeys the service sent; what has arrived is read first.
  bool isPressedByTap(std::uint16_t keyCode);

  static constexpr double kRetrySeconds = 1.0;

 private:
  void readMessages();
  void handle(const engine_protocol::Message& message);
  void served();
  void lose(const std::string& why);
  void retry();
  void send(const engine_protocol::Message& message);

  EngineTapSystem& system_;
  RunLoop& loop_;
  FdWatcher& watcher_;
  Log& log_;
  const std::string socketPath_;
  std::unique_ptr<EngineConnection> connection_;
  std::unique_ptr<FdWatcher::Watch> watch_;
  std::shared_ptr<Timer> retryTimer_;
  bool served_ = false;
  // What a new connection is brought back to.
  bool enabled_ = false;
  ModifierFlags flags_ = kDefaultHyperFlags;
  bool haveMapping_ = false;
  engine_protocol::Message mapping_;
  std::uint64_t syntheticKeys_ = 0;
  // The last reason logged for not being served, so that retries log once.
  std::string lastProblem_;
};

}  // namespace quorvelle
