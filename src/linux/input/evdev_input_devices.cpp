#include "linux/input/evdev_input_devices.h"

#include <errno.h>
#include <fcntl.h>
#include <libevdev/libevdev-uinput.h>
#include <libevdev/libevdev.h>
#include <string.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include "linux/input/device_kind.h"
#include "linux/input/output_frames.h"
#include "linux/input/virtual_keyboard_identity.h"

namespace quorvelle {

namespace {

constexpr unsigned kLights[] = {LED_NUML, LED_CAPSL, LED_SCROLLL, LED_COMPOSE, LED_KANA};
// What a pointer never carries: its keyboard's lights, repeat and outputs.
constexpr unsigned kNotPointerTypes[] = {EV_LED, EV_REP, EV_SND, EV_FF, EV_PWR, EV_FF_STATUS};
// Far beyond any touchpad or touchscreen; bounds the stack the state takes.
constexpr int kMaxSlots = 64;

bool testBit(const unsigned char* bits, unsigned bit) { return (bits[bit / 8] >> (bit % 8)) & 1; }

// A uinput device made from the description, which it frees.
std::optional<int> createDevice(const std::string& uinputPath, libevdev* description,
                                std::map<int, libevdev_uinput*>& devices, std::string* error) {
  const int fd = ::open(uinputPath.c_str(), O_RDWR | O_NONBLOCK | O_CLOEXEC);
  int result = fd < 0 ? -errno : 0;
  libevdev_uinput* device = nullptr;
  if (fd >= 0) result = libevdev_uinput_create_from_device(description, fd, &device);
  libevdev_free(description);
  if (result < 0) {
    *error = uinputPath + ": " + strerror(-result);
    if (fd >= 0) ::close(fd);
    return std::nullopt;
  }
  devices[fd] = device;
  return fd;
}

}  // namespace

EvdevInputDevices::~EvdevInputDevices() {
  while (!virtualDevices_.empty()) destroyVirtualDevice(virtualDevices_.begin()->first);
}

std::optional<int> EvdevInputDevices::createVirtualKeyboard(const std::string& uinputPath,
                                                            const std::string& name, std::string* error) {
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
  return createDevice(uinputPath, description, virtualDevices_, error);
}

std::optional<int> EvdevInputDevices::createVirtualPointer(const std::string& uinputPath, int sourceFd,
                                                           std::string* error) {
  libevdev* description = nullptr;
  const int result = libevdev_new_from_fd(sourceFd, &description);
  if (result < 0) {
    *error = strerror(-result);
    return std::nullopt;
  }
  // The source's pointer part: its keys go to the virtual keyboard.
  for (unsigned code = 0; code < KEY_CNT; ++code) {
    if (isVirtualKeyboardKey(code)) libevdev_disable_event_code(description, EV_KEY, code);
  }
  for (unsigned type : kNotPointerTypes) libevdev_disable_event_type(description, type);
  // The source has filtered its values already; a second filter would lag.
  for (unsigned code = 0; code < ABS_CNT; ++code) {
    if (libevdev_has_event_code(description, EV_ABS, code)) libevdev_set_abs_fuzz(description, code, 0);
  }
  libevdev_set_name(description, kVirtualPointerName);
  libevdev_set_id_bustype(description, kVirtualKeyboardBus);
  libevdev_set_id_vendor(description, kVirtualKeyboardVendor);
  libevdev_set_id_product(description, kVirtualPointerProduct);
  libevdev_set_id_version(description, 1);
  // Not the source's place or serial: nothing pairs it with the keyboard.
  libevdev_set_phys(description, "");
  libevdev_set_uniq(description, "");
  return createDevice(uinputPath, description, virtualDevices_, error);
}

void EvdevInputDevices::destroyVirtualDevice(int fd) {
  auto it = virtualDevices_.find(fd);
  if (it == virtualDevices_.end()) return;
  libevdev_uinput_destroy(it->second);
  ::close(fd);
  virtualDevices_.erase(it);
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
  const std::optional<DeviceDescription> description = describeDevice(fd);
  if (!description || classifyDevice(*description, virtualKeyboardName) != DeviceKind::Keyboard) {
    ::close(fd);
    opened.status = OpenedDevice::Status::NotKeyboard;
    return opened;
  }
  opened.status = OpenedDevice::Status::Keyboard;
  opened.fd = fd;
  opened.name = description->name;
  unsigned char types[EV_CNT / 8 + 1] = {};
  unsigned char keys[KEY_CNT / 8] = {};
  ioctl(fd, EVIOCGBIT(0, sizeof types), types);
  ioctl(fd, EVIOCGBIT(EV_KEY, sizeof keys), keys);
  opened.points = testBit(types, EV_REL) || testBit(types, EV_ABS);
  for (unsigned code = 1; code < KEY_CNT && !opened.points; ++code) {
    opened.points = testBit(keys, code) && !isVirtualKeyboardKey(code);
  }
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

void EvdevInputDevices::appendAbsoluteState(int fd, OutputFrames& out) {
  unsigned char axes[ABS_CNT / 8] = {};
  if (ioctl(fd, EVIOCGBIT(EV_ABS, sizeof axes), axes) < 0) return;
  for (unsigned code = 0; code < ABS_MT_SLOT; ++code) {
    input_absinfo info{};
    if (!testBit(axes, code) || ioctl(fd, EVIOCGABS(code), &info) < 0) continue;
    out.reserve();
    out.append(EV_ABS, static_cast<std::uint16_t>(code), info.value);
  }
  input_absinfo slot{};
  if (!testBit(axes, ABS_MT_SLOT) || ioctl(fd, EVIOCGABS(ABS_MT_SLOT), &slot) < 0) return;
  const int slots = slot.maximum + 1 < kMaxSlots ? slot.maximum + 1 : kMaxSlots;
  // Every touch value by slot, read first: a slot's values go together.
  constexpr unsigned kFirst = ABS_MT_SLOT + 1;
  struct {
    __u32 code;
    __s32 values[kMaxSlots];
  } state[ABS_MT_TOOL_Y - ABS_MT_SLOT] = {};
  for (unsigned code = kFirst; code <= ABS_MT_TOOL_Y; ++code) {
    state[code - kFirst].code = code;
    if (testBit(axes, code)) ioctl(fd, EVIOCGMTSLOTS(sizeof state[0]), &state[code - kFirst]);
  }
  for (int s = 0; s < slots; ++s) {
    out.reserve();
    out.append(EV_ABS, ABS_MT_SLOT, s);
    for (unsigned code = kFirst; code <= ABS_MT_TOOL_Y; ++code) {
      if (!testBit(axes, code)) continue;
      out.reserve();
      out.append(EV_ABS, static_cast<std::uint16_t>(code), state[code - kFirst].values[s]);
    }
  }
  out.append(EV_ABS, ABS_MT_SLOT, slot.value);
}

}  // namespace quorvelle
