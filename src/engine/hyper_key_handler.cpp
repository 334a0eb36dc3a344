#include "engine/hyper_key_handler.h"

namespace quorvelle {

HyperKeyHandler::HyperKeyHandler(const EventTapSystem& taps) : taps_(taps), hyperKeyCode_(taps.hyperKeyCode()) {}

KeyEvent* HyperKeyHandler::handleEvent(std::uint32_t type, KeyEvent* event) {
  if (type == kKeyDownEvent || type == kKeyUpEvent) {
    if (event->keyCode == hyperKeyCode_) {
      // Auto-repeats of F18 arrive as key downs and keep hyper held.
      hyperDown_ = (type == kKeyDownEvent);
      return nullptr;
    }
    if (hyperDown_) {
      if (!taps_.isKeyPhysicallyDown(hyperKeyCode_)) {
        // The release was missed (the tap was off, say): drop the stale hold.
        hyperDown_ = false;
        return event;
      }
      event->flags |= injectedFlags;
    }
    return event;
  }
  if (type == kTapDisabledByTimeout || type == kTapDisabledByUserInput) hyperDown_ = false;
  return event;
}

KeyEvent* HyperKeyHandler::tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo) {
  return static_cast<HyperKeyHandler*>(userInfo)->handleEvent(type, event);
}

}  // namespace quorvelle
