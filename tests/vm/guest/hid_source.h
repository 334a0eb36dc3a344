#pragma once

#include <cstdint>
#include <string>
#include <vector>

namespace vmtest {

// A USB HID device made with uhid and typed on by the checker: the kernel's
// HID layer gives it a keymap, as for a real keyboard. With a pointer, its
// keys and its pointer (three buttons, X and Y) share one application
// collection and so one event node, as on keyboards with a touchpad; without,
// it has the Caps Lock key alone.
class HidSource {
 public:
  HidSource(const std::string& name, bool withPointer);
  ~HidSource();
  HidSource(const HidSource&) = delete;
  HidSource& operator=(const HidSource&) = delete;

  bool ok() const { return fd_ >= 0; }
  // The keyboard usages (page 7) held now, up to six (Caps Lock alone on
  // the device without a pointer).
  bool keys(const std::vector<std::uint8_t>& usages);
  bool pointer(std::uint8_t buttons, std::int8_t dx, std::int8_t dy);

 private:
  bool input(const std::vector<std::uint8_t>& report);
  int fd_ = -1;
  bool withPointer_;
};

}  // namespace vmtest
