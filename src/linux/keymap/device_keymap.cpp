#include "linux/keymap/device_keymap.h"

#include <linux/input.h>
#include <sys/ioctl.h>

#include <cerrno>
#include <cstring>

namespace quorvelle {
namespace {

// Far beyond any keyboard (PS/2 has 512 entries); stops a runaway driver.
constexpr unsigned kMaxKeymapEntries = 65536;

std::string readString(int fd, unsigned long request) {
  char text[256] = {};
  if (ioctl(fd, request, text) < 0) return {};
  text[sizeof text - 1] = '\0';
  return text;
}

}  // namespace

std::optional<DeviceIdentity> readDeviceIdentity(int fd, std::string* error) {
  input_id id{};
  if (ioctl(fd, EVIOCGID, &id) < 0) {
    *error = std::string("cannot read the device id: ") + std::strerror(errno);
    return std::nullopt;
  }
  DeviceIdentity identity;
  identity.bustype = id.bustype;
  identity.vendor = id.vendor;
  identity.product = id.product;
  identity.version = id.version;
  // Missing phys or uniq (ENOENT) is common and simply stays empty.
  identity.name = readString(fd, EVIOCGNAME(256));
  identity.phys = readString(fd, EVIOCGPHYS(256));
  identity.uniq = readString(fd, EVIOCGUNIQ(256));
  return identity;
}

std::optional<std::vector<KeymapEntry>> readKeymap(int fd, std::string* error) {
  std::vector<KeymapEntry> entries;
  for (unsigned index = 0; index < kMaxKeymapEntries; ++index) {
    input_keymap_entry entry{};
    entry.flags = INPUT_KEYMAP_BY_INDEX;
    entry.index = static_cast<__u16>(index);
    if (ioctl(fd, EVIOCGKEYCODE_V2, &entry) < 0) {
      // EINVAL past the last index; a device without a keymap fails at 0.
      if (errno == EINVAL) return entries;
      *error = std::string("cannot read the keymap: ") + std::strerror(errno);
      return std::nullopt;
    }
    unsigned length = entry.len <= sizeof entry.scancode ? entry.len : sizeof entry.scancode;
    entries.push_back({Scancode(entry.scancode, entry.scancode + length), entry.keycode});
  }
  return entries;
}

bool writeKeyCode(int fd, const Scancode& scancode, std::uint32_t keyCode, std::string* error) {
  input_keymap_entry entry{};
  if (scancode.empty() || scancode.size() > sizeof entry.scancode) {
    *error = "bad scancode length";
    return false;
  }
  entry.len = static_cast<__u8>(scancode.size());
  std::memcpy(entry.scancode, scancode.data(), scancode.size());
  entry.keycode = keyCode;
  if (ioctl(fd, EVIOCSKEYCODE_V2, &entry) < 0) {
    *error = std::string("cannot change the keymap: ") + std::strerror(errno);
    return false;
  }
  return true;
}

bool deviceHasKey(int fd, std::uint16_t keyCode) {
  unsigned long bits[(KEY_MAX + 1) / (8 * sizeof(unsigned long)) + 1] = {};
  if (keyCode > KEY_MAX || ioctl(fd, EVIOCGBIT(EV_KEY, sizeof bits), bits) < 0) return false;
  return (bits[keyCode / (8 * sizeof(unsigned long))] >> (keyCode % (8 * sizeof(unsigned long)))) & 1;
}

}  // namespace quorvelle
