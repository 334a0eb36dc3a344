#pragma once

namespace quorvelle {

// The keyboard hardware's lock state.
class HidSystem {
 public:
  virtual ~HidSystem() = default;
  // Switches the caps-lock lock state off; does nothing when it cannot.
  virtual void setCapsLockStateOff() = 0;
};

}  // namespace quorvelle
