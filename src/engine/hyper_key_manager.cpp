#include "engine/hyper_key_manager.h"

namespace quorvelle {

HyperKeyManager::HyperKeyManager(EventTapSystem& taps, KeyMapping& keyMapping)
    : taps_(taps), keyMapping_(keyMapping), handler_(taps) {}

bool HyperKeyManager::start() {
  if (tap_) return true;
  std::unique_ptr<EventTap> tap = taps_.createTap(kKeyEventMask, &HyperKeyManager::tapCallback, this);
  if (!tap) return false;
  tap->setInjectedFlags(handler_.injectedFlags);
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
  handler_.reset();
  keyMapping_.setCapsLockMapping(false);
}

KeyEvent* HyperKeyManager::handleEvent(std::uint32_t type, KeyEvent* event) {
  KeyEvent* out = handler_.handleEvent(type, event);
  if ((type == kTapDisabledByTimeout || type == kTapDisabledByUserInput) && tap_) tap_->setEnabled(true);
  return out;
}

void HyperKeyManager::setInjectedFlags(ModifierFlags flags) {
  handler_.injectedFlags = flags;
  if (tap_) tap_->setInjectedFlags(flags);
}

KeyEvent* HyperKeyManager::tapCallback(std::uint32_t type, KeyEvent* event, void* userInfo) {
  return static_cast<HyperKeyManager*>(userInfo)->handleEvent(type, event);
}

}  // namespace quorvelle
