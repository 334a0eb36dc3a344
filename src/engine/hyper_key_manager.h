#pragma once

#include <cstdint>
#include <memory>

#include "engine/key_mapping.h"
#include "platform/event_tap.h"
#include "platform/modifier_flags.h"

namespace quorvelle {

// The hyper key engine: an event tap whose handler swallows F18 (Caps Lock,
// once mapped), remembers whether it is held, and adds injectedFlags to every
// other key down and key up while it is.
class HyperKeyManager {
 public:
  HyperKeyManager(EventTapSystem& taps, KeyMapping& keyMapping);
  HyperKeyManager(const HyperKeyManager&) = delete;
  HyperKeyManager& operator=(const HyperKeyManager&) = delete;

  // Installs the tap, applies the key mapping and clears the caps-lock state.
  // True when a tap is installed afterwards (also when it already was); false
  // when no tap could be created, in which case nothing changed.
  bool start();

  // Removes the tap and the key mapping; does nothing when not started.
  void stop();

  bool hasTap() const { return tap_ != nullptr; }
  bool isHyperDown() const { return hyperDown_; }

  // The hyper state machine. Returns the event, possibly with added flags, or
  // nullptr to drop it. Allocates, logs and locks nothing.
  KeyEvent* handleEvent(std::uint32_t type, KeyEvent* event);

  // The tap's callback; userInfo is the manager.
  static KeyEvent* tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo);

  // The flags added while hyper is held; the next key event sees a new value.
  ModifierFlags injectedFlags = kDefaultHyperFlags;

 private:
  EventTapSystem& taps_;
  KeyMapping& keyMapping_;
  const std::uint16_t hyperKeyCode_;
  std::unique_ptr<EventTap> tap_;
  std::unique_ptr<RunLoopSource> runLoopSource_;
  bool hyperDown_ = false;
};

}  // namespace quorvelle
