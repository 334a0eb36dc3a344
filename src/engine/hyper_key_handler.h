#pragma once

#include <cstdint>

#include "platform/event_tap.h"
#include "platform/modifier_flags.h"

namespace quorvelle {

// The hyper key's rules for one stream of key events: F18 (Caps Lock, once
// mapped) is swallowed and remembered as held; while it is, every other key
// down and key up gets injectedFlags added. Wherever the events are read, this
// is the one place that decides what becomes of them.
class HyperKeyHandler {
 public:
  // taps answers whether F18 is physically held, when a hold may be stale.
  explicit HyperKeyHandler(const EventTapSystem& taps);

  // Returns the event, possibly with added flags, or nullptr to drop it.
  // Allocates, logs and locks nothing.
  KeyEvent* handleEvent(std::uint32_t type, KeyEvent* event);

  // A tap callback; userInfo is the handler.
  static KeyEvent* tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo);

  bool isHyperDown() const { return hyperDown_; }
  // Forgets a hold, as when the tap goes away.
  void reset() { hyperDown_ = false; }

  // The flags added while hyper is held; the next key event sees a new value.
  ModifierFlags injectedFlags = kDefaultHyperFlags;

 private:
  const EventTapSystem& taps_;
  const std::uint16_t hyperKeyCode_;
  bool hyperDown_ = false;
};

}  // namespace quorvelle
