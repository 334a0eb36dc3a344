#include "linux/engine_client/engine_tap_system.h"

#include <linux/input-event-codes.h>

#include "linux/engine_client/engine_tap.h"

namespace quorvelle {

using engine_protocol::Message;
using engine_protocol::MessageType;
using engine_protocol::Served;

class EngineTapSystem::CapsLock : public HidSystem {
 public:
  explicit CapsLock(EngineTapSystem& system) : system_(system) {}
  void setCapsLockStateOff() override {
    if (system_.tap_) system_.tap_->switchCapsLockOff();
  }

 private:
  EngineTapSystem& system_;
};

EngineTapSystem::EngineTapSystem(RunLoop& loop, FdWatcher& watcher, Log& log, std::string socketPath,
                                 double answerSeconds)
    : loop_(loop),
      watcher_(watcher),
      log_(log),
      socketPath_(std::move(socketPath)),
      answerSeconds_(answerSeconds),
      capsLock_(std::make_unique<CapsLock>(*this)) {}

EngineTapSystem::~EngineTapSystem() = default;

std::unique_ptr<EventTap> EngineTapSystem::createTap(std::uint64_t, EventTapCallback, void*) {
  if (tap_) {
    log_.write("Quorvelle: an event tap exists already");
    return nullptr;
  }
  std::string why;
  std::unique_ptr<EngineConnection> connection = EngineConnection::open(socketPath_, &why);
  Message start;
  start.type = MessageType::Start;
  std::optional<Message> status;
  if (connection) status = connection->request(start, MessageType::Status, answerSeconds_, &why);
  if (!status) {
    log_.write("Quorvelle: no engine service: " + why);
    return nullptr;
  }
  const auto reason = static_cast<Served>(status->value);
  if (reason == Served::NotActiveSession) {
    log_.write("Quorvelle: the engine service does not serve this process: " + describeServed(reason));
    return nullptr;
  }
  auto tap = std::make_unique<EngineTap>(*this, loop_, watcher_, log_, socketPath_);
  tap_ = tap.get();
  tap->adopt(std::move(connection), reason);
  return tap;
}

bool EngineTapSystem::isKeyPhysicallyDown(std::uint16_t) const { return false; }

std::uint16_t EngineTapSystem::hyperKeyCode() const { return KEY_F18; }

bool EngineTapSystem::isKeyPressedByTap(std::uint16_t keyCode) { return tap_ && tap_->isPressedByTap(keyCode); }

HidSystem& EngineTapSystem::hidSystem() { return *capsLock_; }

void EngineTapSystem::tapGone(EngineTap* tap) {
  if (tap_ == tap) tap_ = nullptr;
}

}  // namespace quorvelle
