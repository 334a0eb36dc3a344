#include "sim/sim_event_tap.h"

namespace quorvelle::sim {

class SimRunLoopSource : public RunLoopSource {
 public:
  explicit SimRunLoopSource(SimEventTap& tap) : tap_(tap) {}
  void addToMainRunLoop() override {
    tap_.onRunLoop_ = true;
    tap_.system_.record("source added");
  }
  void removeFromMainRunLoop() override {
    tap_.onRunLoop_ = false;
    tap_.system_.record("source removed");
  }

 private:
  SimEventTap& tap_;
};

SimEventTap::SimEventTap(SimEventTapSystem& system, EventTapCallback callback, void* userInfo)
    : system_(system), callback_(callback), userInfo_(userInfo) {
  system_.tap_ = this;
}

SimEventTap::~SimEventTap() {
  if (system_.tap_ == this) system_.tap_ = nullptr;
  system_.record("tap released");
}

void SimEventTap::setEnabled(bool enabled) {
  enabled_ = enabled;
  system_.record(enabled ? "tap enabled" : "tap disabled");
}

std::unique_ptr<RunLoopSource> SimEventTap::createRunLoopSource() {
  system_.record("source created");
  return std::make_unique<SimRunLoopSource>(*this);
}

std::optional<KeyEvent> SimEventTap::deliver(std::uint32_t type, std::uint16_t keyCode,
                                             ModifierFlags flags) {
  KeyEvent event{type, keyCode, flags};
  if (!enabled_ || !onRunLoop_) return event;
  KeyEvent* result = callback_(type, &event, userInfo_);
  if (!result) return std::nullopt;
  return *result;
}

std::unique_ptr<EventTap> SimEventTapSystem::createTap(std::uint64_t,
                                                       EventTapCallback callback, void* userInfo) {
  if (!allowTaps) {
    record("tap refused");
    return nullptr;
  }
  ++tapsCreated;
  record("tap created");
  return std::make_unique<SimEventTap>(*this, callback, userInfo);
}

}  // namespace quorvelle::sim
