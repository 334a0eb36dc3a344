#pragma once

#include <map>

#include "linux/input/input_devices.h"

struct libevdev_uinput;

namespace quorvelle {

// The kernel's evdev and uinput, through libevdev and ioctl().
class EvdevInputDevices : public InputDevices {
 public:
  EvdevInputDevices() = default;
  ~EvdevInputDevices() override;
  EvdevInputDevices(const EvdevInputDevices&) = delete;
  EvdevInputDevices& operator=(const EvdevInputDevices&) = delete;

  std::optional<int> createVirtualKeyboard(const std::string& uinputPath, const std::string& name,
                                           std::string* error) override;
  std::optional<int> createVirtualPointer(const std::string& uinputPath, int sourceFd,
                                          std::string* error) override;
  void destroyVirtualDevice(int fd) override;
  OpenedDevice open(const std::string& path, const std::string& virtualKeyboardName) override;
  bool grab(int fd, std::string* error) override;
  void close(int fd) override;
  std::optional<KeyBits> keysDown(int fd) override;
  std::optional<bool> capsLockLight(int fd) override;
  void appendAbsoluteState(int fd, OutputFrames& out) override;

 private:
  std::map<int, libevdev_uinput*> virtualDevices_;
};

}  // namespace quorvelle
