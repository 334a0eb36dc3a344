#include "engine/hyper_key_manager.h"

namespace quorvelle {

HyperKeyManager::HyperKeyManager(EventTapSystem& taps, KeyMapping& keyMapping)
    : taps_(taps), keyMapping_(keyMapping), hyperKeyCode_(taps.hyperKeyCode()) {}

bool HyperKeyManager::start() {
  if (tap_) return true;
  std::unique_ptr<EventTap> tap = taps_.createTap(kKeyEventMask, &HyperKeyManager::tapCallback, this);
  if (!tap) return false;
  // The tap exists but is not enabled yet, so no key waits on the handler
  // while the mapping tool runs.
  keyMapping_.setCapsLockMapping(true);
  keyMapping_.clearCapsLockState();
  tap_ = std::move(tap);
  runLoopSource_ = tap_->createRunLoopSource();
  runLoopSource_->addToMainRunLoop();
  tap_->setEnabled(true);
  return true;
}

void HyperKeyManager::stop() {
  if (!tap_) return;
  tap_->setEnabled(false);
  if (runLoopSource_) runLoopSource_->removeFromMainRunLoop();
  runLoopSource_.reset();
  tap_.reset();
  hyperDown_ = false;
  keyMapping_.setCapsLockMapping(false);
}

KeyEvent* HyperKeyManager::handleEvent(std::uint32_t type, KeyEvent* event) {
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
  if (type == kTapDisabledByTimeout || type == kTapDisabledByUserInput) {
    hyperDown_ = false;
    if (tap_) tap_->setEnabled(true);
  }
  return event;
}

KeyEvent* HyperKeyManager::tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo) {
  return static_cast<HyperKeyManager*>(userInfo)->handleEvent(type, event);
}

}  // namespace quorvelle
