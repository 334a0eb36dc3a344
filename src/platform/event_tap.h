#pragma once

#include <cstdint>
#include <memory>

#include "platform/modifier_flags.h"

namespace quorvelle {

// Event types a keyboard tap hands to its callback.
inline constexpr std::uint32_t kKeyDownEvent = 10;
inline constexpr std::uint32_t kKeyUpEvent = 11;
inline constexpr std::uint32_t kTapDisabledByTimeout = 0xFFFFFFFE;
inline constexpr std::uint32_t kTapDisabledByUserInput = 0xFFFFFFFF;

// Key downs and key ups only; modifier changes are not tapped.
inline constexpr std::uint64_t kKeyEventMask = (1u << kKeyDownEvent) | (1u << kKeyUpEvent);

// One keyboard event as the tap sees it. keyCode is the platform's key code;
// flags are the modifier keys held at that moment.
struct KeyEvent {
  std::uint32_t type = 0;
  std::uint16_t keyCode = 0;
  ModifierFlags flags = 0;
};

// Called for every tapped event. Returns the event to deliver (possibly with
// changed flags) or nullptr to drop it.
using EventTapCallback = KeyEvent* (*)(std::uint32_t type, KeyEvent* event, void* userInfo);

// Delivers a tap's events on the main run loop while it is added there.
class RunLoopSource {
 public:
  virtual ~RunLoopSource() = default;
  virtual void addToMainRunLoop() = 0;  // in the common modes
  virtual void removeFromMainRunLoop() = 0;
};

class EventTap {
 public:
  virtual ~EventTap() = default;
  virtual void setEnabled(bool enabled) = 0;
  virtual std::unique_ptr<RunLoopSource> createRunLoopSource() = 0;
  // The flags the hyper key handler adds while hyper is held. A tap that calls
  // the handler in this process has nothing to do; one whose events are
  // handled in another process passes them on.
  virtual void setInjectedFlags(ModifierFlags flags) { (void)flags; }
};

// The keyboard event tap service of the login session.
class EventTapSystem {
 public:
  virtual ~EventTapSystem() = default;

  // An active filter tap for the session, or nullptr when this process may not
  // filter keyboard events. userInfo is passed to the callback as it is.
  virtual std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                              void* userInfo) = 0;

  // Whether the key is physically held now, as the keyboard hardware reports it.
  virtual bool isKeyPhysicallyDown(std::uint16_t keyCode) const = 0;

  // The key code of F18, the key that stands for hyper.
  virtual std::uint16_t hyperKeyCode() const = 0;
};

}  // namespace quorvelle
