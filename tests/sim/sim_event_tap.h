#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "platform/event_tap.h"
#include "sim/journal.h"

namespace quorvelle::sim {

class SimEventTapSystem;

// A tap that the test feeds events into.
class SimEventTap : public EventTap {
 public:
  SimEventTap(SimEventTapSystem& system, EventTapCallback callback, void* userInfo);
  ~SimEventTap() override;

  void setEnabled(bool enabled) override;
  std::unique_ptr<RunLoopSource> createRunLoopSource() override;

  // Hands one event to the tap. Returns what applications receive: the event
  // as the handler returned it, nullopt when dropped. A tap that is disabled or
  // not on the run loop lets the event pass untouched.
  std::optional<KeyEvent> deliver(std::uint32_t type, std::uint16_t keyCode, ModifierFlags flags = 0);

  bool enabled() const { return enabled_; }

 private:
  friend class SimRunLoopSource;
  SimEventTapSystem& system_;
  EventTapCallback callback_;
  void* userInfo_;
  bool enabled_ = false;
  bool onRunLoop_ = false;
};

// The session's tap service with a scripted physical key state.
class SimEventTapSystem : public EventTapSystem {
 public:
  static constexpr std::uint16_t kF18 = 79;

  explicit SimEventTapSystem(Journal* journal = nullptr) : journal_(journal) {}

  std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                      void* userInfo) override;
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override {
    return physicallyDown.count(keyCode) != 0;
  }
  std::uint16_t hyperKeyCode() const override { return kF18; }

  // The live tap, or nullptr.
  SimEventTap* tap() const { return tap_; }

  bool allowTaps = true;
  int tapsCreated = 0;
  std::set<std::uint16_t> physicallyDown;

 private:
  friend class SimEventTap;
  friend class SimRunLoopSource;
  void record(const char* entry) {
    if (journal_) journal_->add(entry);
  }
  Journal* journal_;
  SimEventTap* tap_ = nullptr;
};

}  // namespace quorvelle::sim
