#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "engine_protocol/protocol.h"
#include "linux/process/fd_watcher.h"
#include "platform/event_tap.h"
#include "platform/hid_system.h"
#include "platform/log.h"
#include "platform/run_loop.h"

namespace quorvelle {

class EngineTap;

// The session's keyboard tap on Linux, as a client of the engine service
// (quorvelle-engine), which grabs the keyboards and runs the hyper key handler
// on its own poll loop. At most one tap exists at a time.
class EngineTapSystem : public EventTapSystem {
 public:
  EngineTapSystem(RunLoop& loop, FdWatcher& watcher, Log& log,
                  std::string socketPath = engine_protocol::kSocketPath, double answerSeconds = kAnswerSeconds);
  ~EngineTapSystem() override;
  EngineTapSystem(const EngineTapSystem&) = delete;
  EngineTapSystem& operator=(const EngineTapSystem&) = delete;

  // Sends Start and waits for the answer (at most answerSeconds). nullptr,
  // logged, only when the service is absent, does not answer, or does not
  // serve this user; busy or failing, the tap keeps trying in the background.
  // The callback is not called here: the service runs the same handler.
  std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                      void* userInfo) override;
  // The keys are tracked in the service; nothing in this process asks.
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override;
  std::uint16_t hyperKeyCode() const override;
  // Whether the key's last press the display server got was one of the
  // engine's synthetic modifiers (what the service last reported).
  bool isKeyPressedByTap(std::uint16_t keyCode);
  // Switches the display server's caps lock off through the service; does
  // nothing without a served tap.
  HidSystem& hidSystem();

  // Covers a service started by its socket and its wait for held keys (up to
  // a second) before the grab, on a machine busy starting a whole session: a
  // Start given up too early leaves the hyper key off with no retry.
  static constexpr double kAnswerSeconds = 10.0;

 private:
  class CapsLock;
  friend class EngineTap;
  void tapGone(EngineTap* tap);

  RunLoop& loop_;
  FdWatcher& watcher_;
  Log& log_;
  const std::string socketPath_;
  const double answerSeconds_;
  std::unique_ptr<CapsLock> capsLock_;
  EngineTap* tap_ = nullptr;
};

}  // namespace quorvelle
