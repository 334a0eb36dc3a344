#include "linux/tap/evdev_input_devices.h"

#include <errno.h>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "linux/tap/device_kind.h"
#include "linux/virtual_keyboard_identity.h"

namespace quorvelle {

namespace {

constexpr unsigned kLights[] = {LED_NUML, LED_CAPSL, LED_SCROLLL, LED_COMPOSE, LED_KANA};

}  // namespace

EvdevInputDevices::~EvdevInputDevices() {
  while (!virtualKeyboards_.empty()) destroyVirtualKeyboard(virtualKeyboards_.begin()->first);
}

std::optional<int> EvdevInputDevices::createVirtualKeyboard(const std::string& uinputPath,
                                                            const std::string& name, std::string* error) {
  const int fd = ::open(uinputPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    *error = uinputPath + ": " + strerror(errno);
    return std::nullopt;
  }
  libevdev* description = libevdev_new();
  libevdev_set_name(description, name.c_str());
  libevdev_set_id_bustype(description, kVirtualKeyboardBus);
  libevdev_set_id_vendor(description, kVirtualKeyboardVendor);
  libevdev_set_id_product(description, kVirtualKeyboardProduct);
  libevdev_set_id_version(description, 1);
  libevdev_enable_event_type(description, EV_SYN);
  libevdev_enable_event_code(description, EV_SYN, SYN_REPORT, nullptr);
  libevdev_enable_event_type(description, EV_KEY);
  for (unsigned code = 0; code < KEY_CNT; ++code) {
    if (isVirtualKeyboardKey(code)) libevdev_enable_event_code(description, EV_KEY, code, nullptr);
  }
  libevdev_enable_event_type(description, EV_MSC);
  libevdev_enable_event_code(description, EV_MSC, MSC_SCAN, nullptr);
  libevdev_enable_event_type(description, EV_LED);
  for (unsigned light : kLights) libevdev_enable_event_code(description, EV_LED, light, nullptr);
  // No EV_REP: the kernel would repeat held keys on its own, on top of the
  // repeats passed on from the keyboards.
  libevdev_uinput* device = nullptr;
  const int result = libevdev_uinput_create_from_device(description, fd, &device);
  libevdev_free(description);
  if (result < 0) {
    *error = uinputPath + ": " + strerror(-result);
    ::close(fd);
    return std::nullopt;
  }
  virtualKeyboards_[fd] = device;
  return fd;
}

void EvdevInputDevices::destroyVirtualKeyboard(int fd) {
  auto it = virtualKeyboards_.find(fd);
  if (it == virtualKeyboards_.end()) return;
  libevdev_uinput_destroy(it->second);
  ::close(fd);
  virtualKeyboards_.erase(it);
}

OpenedDevice EvdevInputDevices::open(const std::string& path, const std::string& virtualKeyboardName) {
  OpenedDevice opened;
  // Read-write, to pass the lights on; read-only still grabs.
  int fd = ::open(path.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0 && (errno == EACCES || errno == EPERM)) fd = ::open(path.c_str(), O_RDONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd < 0) {
    opened.error = path + ": " + strerror(errno);
    // A node that vanished or is not a device will not become a keyboard.
    if (errno != EACCES && errno != EPERM) opened.status = OpenedDevice::Status::NotKeyboard;
    return opened;
  }
  libevdev* device = nullptr;
  if (libevdev_new_from_fd(fd, &device) < 0) {
    ::close(fd);
    opened.status = OpenedDevice::Status::NotKeyboard;
    return opened;
  }
  DeviceDescription description;
  description.name = libevdev_get_name(device) ? libevdev_get_name(device) : "";
  description.bus = static_cast<std::uint16_t>(libevdev_get_id_bustype(device));
  description.vendor = static_cast<std::uint16_t>(libevdev_get_id_vendor(device));
  description.product = static_cast<std::uint16_t>(libevdev_get_id_product(device));
  for (unsigned code = 0; code < 32; ++code) {
    if (libevdev_has_event_code(device, EV_KEY, code)) description.firstKeys |= 1u << code;
  }
  description.hasAxes = libevdev_has_event_type(device, EV_REL) || libevdev_has_event_type(device, EV_ABS);
  libevdev_free(device);
  if (classifyDevice(description, virtualKeyboardName) != DeviceKind::Keyboard) {
    ::close(fd);
    opened.status = OpenedDevice::Status::NotKeyboard;
    return opened;
  }
  opened.status = OpenedDevice::Status::Keyboard;
  opened.fd = fd;
  opened.name = description.name;
  return opened;
}

bool EvdevInputDevices::grab(int fd, std::string* error) {
  if (ioctl(fd, EVIOCGRAB, 1) < 0) {
    *error = strerror(errno);
    return false;
  }
  return true;
}

void EvdevInputDevices::close(int fd) {
  ioctl(fd, EVIOCGRAB, 0);
  ::close(fd);
}

std::optional<KeyBits> EvdevInputDevices::keysDown(int fd) {
  unsigned char bytes[KEY_CNT / 8 + 1] = {};
  if (ioctl(fd, EVIOCGKEY(sizeof bytes), bytes) < 0) return std::nullopt;
  KeyBits keys;
  for (unsigned code = 0; code < KEY_CNT; ++code) {
    if (bytes[code / 8] & (1u << (code % 8))) keys.set(code);
  }
  return keys;
}

std::optional<bool> EvdevInputDevices::capsLockLight(int fd) {
  unsigned char bytes[LED_CNT / 8 + 1] = {};
  if (ioctl(fd, EVIOCGBIT(EV_LED, sizeof bytes), bytes) < 0) return std::nullopt;
  if (!(bytes[LED_CAPSL / 8] & (1u << (LED_CAPSL % 8)))) return std::nullopt;
  unsigned char lit[LED_CNT / 8 + 1] = {};
  if (ioctl(fd, EVIOCGLED(sizeof lit), lit) < 0) return std::nullopt;
  return (lit[LED_CAPSL / 8] & (1u << (LED_CAPSL % 8))) != 0;
}

}  // namespace quorvelle
