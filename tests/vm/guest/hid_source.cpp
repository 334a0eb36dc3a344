#include "hid_source.h"

#include <fcntl.h>
#include <linux/uhid.h>
#include <unistd.h>

#include <cstring>

namespace vmtest {
namespace {

// Report 1: the modifiers and the keys, six at a time. Report 2: the pointer,
// in a physical collection of the same application, so the HID layer makes
// one node.
const std::uint8_t kKeyboardWithPointer[] = {
    0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0xE0, 0x29, 0xE7, 0x15, 0x00, 0x25, 0x01,
    0x75, 0x01, 0x95, 0x08, 0x81, 0x02, 0x19, 0x00, 0x29, 0x65, 0x25, 0x65, 0x75, 0x08, 0x95, 0x06, 0x81, 0x00,
    0x85, 0x02, 0x05, 0x01, 0x09, 0x01, 0xA1, 0x00, 0x05, 0x09, 0x19, 0x01, 0x29, 0x03, 0x25, 0x01, 0x75, 0x01,
    0x95, 0x03, 0x81, 0x02, 0x75, 0x05, 0x95, 0x01, 0x81, 0x03, 0x05, 0x01, 0x09, 0x30, 0x09, 0x31, 0x15, 0x81,
    0x25, 0x7F, 0x75, 0x08, 0x95, 0x02, 0x81, 0x06, 0xC0, 0xC0};
// Report 1: one bit, Caps Lock.
const std::uint8_t kCapsLockOnly[] = {0x05, 0x01, 0x09, 0x06, 0xA1, 0x01, 0x85, 0x01, 0x05, 0x07, 0x19, 0x39,
                                      0x29, 0x39, 0x15, 0x00, 0x25, 0x01, 0x75, 0x01, 0x95, 0x01, 0x81, 0x02,
                                      0x75, 0x07, 0x95, 0x01, 0x81, 0x03, 0xC0};

}  // namespace

HidSource::HidSource(const std::string& name, bool withPointer) : withPointer_(withPointer) {
  fd_ = open("/dev/uhid", O_RDWR | O_CLOEXEC);
  uhid_event event{};
  event.type = UHID_CREATE2;
  std::strncpy(reinterpret_cast<char*>(event.u.create2.name), name.c_str(), sizeof event.u.create2.name - 1);
  const std::size_t size = withPointer ? sizeof kKeyboardWithPointer : sizeof kCapsLockOnly;
  std::memcpy(event.u.create2.rd_data, withPointer ? kKeyboardWithPointer : kCapsLockOnly, size);
  event.u.create2.rd_size = static_cast<__u16>(size);
  event.u.create2.bus = BUS_USB;
  event.u.create2.vendor = 0x1209;
  event.u.create2.product = withPointer ? 1 : 2;
  if (fd_ >= 0 && write(fd_, &event, sizeof event) != static_cast<ssize_t>(sizeof event)) {
    close(fd_);
    fd_ = -1;
  }
}

HidSource::~HidSource() {
  if (fd_ >= 0) close(fd_);  // destroys the device
}

bool HidSource::input(const std::vector<std::uint8_t>& report) {
  uhid_event event{};
  event.type = UHID_INPUT2;
  std::memcpy(event.u.input2.data, report.data(), report.size());
  event.u.input2.size = static_cast<__u16>(report.size());
  return write(fd_, &event, sizeof event) == static_cast<ssize_t>(sizeof event);
}

bool HidSource::keys(const std::vector<std::uint8_t>& usages) {
  if (!withPointer_) return input({1, static_cast<std::uint8_t>(usages.empty() ? 0 : 1)});
  std::vector<std::uint8_t> report(8, 0);  // id, modifiers, six keys
  report[0] = 1;
  for (std::size_t i = 0; i < usages.size() && i < 6; ++i) report[2 + i] = usages[i];
  return input(report);
}

bool HidSource::pointer(std::uint8_t buttons, std::int8_t dx, std::int8_t dy) {
  return input({2, buttons, static_cast<std::uint8_t>(dx), static_cast<std::uint8_t>(dy)});
}

}  // namespace vmtest
