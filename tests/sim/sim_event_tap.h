#pragma once

#include <cstdint>
#include <memory>
#include <optional>
#include <set>

#include "platform/event_tap.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// A tap that the test feeds events into; what is done to it is journalled.
class SimEventTap : public EventTap {
 public:
  SimEventTap(Journal* journal, EventTapCallback callback, void* userInfo, SimEventTap*& live)
      : journal_(journal), callback_(callback), userInfo_(userInfo), live_(live) {
    live_ = this;
  }
  ~SimEventTap() override {
    if (live_ == this) live_ = nullptr;
    note("tap released");
  }
  void setEnabled(bool enabled) override {
    enabled_ = enabled;
    note(enabled ? "tap enabled" : "tap disabled");
  }
  std::unique_ptr<RunLoopSource> createRunLoopSource() override {
    note("source created");
    return std::make_unique<Source>(*this);
  }

  // Hands one event to the tap. Returns what applications receive: the event
  // as the handler returned it, nullopt when dropped. A tap that is disabled or
  // not on the run loop lets the event pass untouched.
  std::optional<KeyEvent> deliver(std::uint32_t type, std::uint16_t keyCode, ModifierFlags flags = 0) {
    KeyEvent event{type, keyCode, flags};
    if (!enabled_ || !onRunLoop_) return event;
    KeyEvent* result = callback_(type, &event, userInfo_);
    if (!result) return std::nullopt;
    return *result;
  }
  bool enabled() const { return enabled_; }

 private:
  struct Source : RunLoopSource {
    explicit Source(SimEventTap& tap) : tap(tap) {}
    void addToMainRunLoop() override {
      tap.onRunLoop_ = true;
      tap.note("source added");
    }
    void removeFromMainRunLoop() override {
      tap.onRunLoop_ = false;
      tap.note("source removed");
    }
    SimEventTap& tap;
  };
  void note(const char* entry) {
    if (journal_) journal_->push_back(entry);
  }
  Journal* journal_;
  EventTapCallback callback_;
  void* userInfo_;
  SimEventTap*& live_;
  bool enabled_ = false;
  bool onRunLoop_ = false;
};

// The session's tap service with a scripted physical key state.
class SimEventTapSystem : public EventTapSystem {
 public:
  static constexpr std::uint16_t kF18 = 79;

  explicit SimEventTapSystem(Journal* journal = nullptr) : journal_(journal) {}

  std::unique_ptr<EventTap> createTap(std::uint64_t, EventTapCallback callback, void* userInfo) override {
    if (journal_) journal_->push_back(allowTaps ? "tap created" : "tap refused");
    if (!allowTaps) return nullptr;
    ++tapsCreated;
    return std::make_unique<SimEventTap>(journal_, callback, userInfo, live_);
  }
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override { return physicallyDown.count(keyCode) != 0; }
  std::uint16_t hyperKeyCode() const override { return kF18; }

  // The live tap, or nullptr.
  SimEventTap* tap() const { return live_; }

  bool allowTaps = true;
  int tapsCreated = 0;
  std::set<std::uint16_t> physicallyDown;

 private:
  Journal* journal_;
  SimEventTap* live_ = nullptr;
};

}  // namespace quorvelle::sim
