#pragma once

#include <cstdint>
#include <memory>

#include "engine/hyper_key_handler.h"
#include "engine/key_mapping.h"
#include "platform/event_tap.h"
#include "platform/modifier_flags.h"

namespace quorvelle {

// The hyper key engine: an event tap whose events go through the hyper key
// handler, the key mapping that turns Caps Lock into F18, and their order.
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
  bool isHyperDown() const { return handler_.isHyperDown(); }

  // The handler's answer, and a disabled tap enabled again. Allocates, logs
  // and locks nothing.
  KeyEvent* handleEvent(std::uint32_t type, KeyEvent* event);

  // The tap's callback; userInfo is the manager.
  static KeyEvent* tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo);

  // The flags added while hyper is held; the next key event sees a new value.
  // A tap that runs the handler elsewhere is told as well.
  void setInjectedFlags(ModifierFlags flags);
  ModifierFlags injectedFlags() const { return handler_.injectedFlags; }

 private:
  EventTapSystem& taps_;
  KeyMapping& keyMapping_;
  HyperKeyHandler handler_;
  std::unique_ptr<EventTap> tap_;
  std::unique_ptr<RunLoopSource> runLoopSource_;
};

}  // namespace quorvelle
