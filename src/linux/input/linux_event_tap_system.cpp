#include "linux/input/linux_event_tap_system.h"

#include <linux/input.h>

#include "linux/input/evdev_input_devices.h"
#include "linux/input/input_devices.h"
#include "linux/input/linux_event_tap.h"

namespace quorvelle {

class LinuxEventTapSystem::CapsLock : public HidSystem {
 public:
  explicit CapsLock(LinuxEventTapSystem& system) : system_(system) {}
  void setCapsLockStateOff() override {
    if (system_.tap_) system_.tap_->switchCapsLockOff();
  }

 private:
  LinuxEventTapSystem& system_;
};

LinuxEventTapSystem::LinuxEventTapSystem(FdWatcher& watcher, KeyboardRemapper& remapper, Log& log,
                                         Options options)
    : LinuxEventTapSystem(watcher, remapper, log, std::move(options), std::make_unique<EvdevInputDevices>()) {}

LinuxEventTapSystem::LinuxEventTapSystem(FdWatcher& watcher, KeyboardRemapper& remapper, Log& log,
                                         Options options, std::unique_ptr<InputDevices> devices)
    : watcher_(watcher),
      keyWatcher_(&watcher),
      remapper_(remapper),
      log_(log),
      options_(std::move(options)),
      devices_(std::move(devices)),
      capsLock_(std::make_unique<CapsLock>(*this)) {}

// A tap still alive refers to this system: it must go first.
LinuxEventTapSystem::~LinuxEventTapSystem() = default;

std::unique_ptr<EventTap> LinuxEventTapSystem::createTap(std::uint64_t, EventTapCallback callback,
                                                         void* userInfo) {
  if (tap_) {
    log_.write("Quorvelle: cannot create a second event tap");
    return nullptr;
  }
  return LinuxEventTap::create(*this, callback, userInfo);
}

bool LinuxEventTapSystem::isKeyPhysicallyDown(std::uint16_t keyCode) const {
  return tap_ && tap_->isKeyPhysicallyDown(keyCode);
}

bool LinuxEventTapSystem::isKeyPressedByTap(std::uint16_t keyCode) const {
  return tap_ && tap_->isKeyPressedBySelf(keyCode);
}

std::uint16_t LinuxEventTapSystem::hyperKeyCode() const { return KEY_F18; }

void LinuxEventTapSystem::refreshTranslations() {
  if (tap_) tap_->refreshTranslations();
}

void LinuxEventTapSystem::setPressedByTapListener(PressedByTapListener listener, void* context) {
  pressedByTapListener_ = listener;
  pressedByTapContext_ = context;
}

HidSystem& LinuxEventTapSystem::hidSystem() { return *capsLock_; }

}  // namespace quorvelle
