#include "source_keyboard.h"

#include <fcntl.h>
#include <linux/uinput.h>
#include <sys/ioctl.h>
#include <unistd.h>

#include <cstring>

namespace vmtest {

SourceKeyboard::SourceKeyboard(const std::string& name) {
  fd_ = open("/dev/uinput", O_WRONLY | O_NONBLOCK | O_CLOEXEC);
  if (fd_ < 0) return;
  ioctl(fd_, UI_SET_EVBIT, EV_KEY);
  ioctl(fd_, UI_SET_EVBIT, EV_SYN);
  for (int code = KEY_ESC; code <= KEY_MICMUTE; ++code) ioctl(fd_, UI_SET_KEYBIT, code);
  uinput_setup setup{};
  setup.id.bustype = BUS_USB;
  setup.id.vendor = 0x1234;
  setup.id.product = 0x5678;
  std::strncpy(setup.name, name.c_str(), sizeof setup.name - 1);
  if (ioctl(fd_, UI_DEV_SETUP, &setup) < 0 || ioctl(fd_, UI_DEV_CREATE) < 0) {
    close(fd_);
    fd_ = -1;
  }
}

SourceKeyboard::~SourceKeyboard() {
  if (fd_ >= 0) {
    ioctl(fd_, UI_DEV_DESTROY);
    close(fd_);
  }
}

bool SourceKeyboard::key(int code, int value) {
  input_event frame[2] = {};
  frame[0].type = EV_KEY;
  frame[0].code = static_cast<__u16>(code);
  frame[0].value = value;
  frame[1].type = EV_SYN;
  frame[1].code = SYN_REPORT;
  return write(fd_, frame, sizeof frame) == static_cast<ssize_t>(sizeof frame);
}

}  // namespace vmtest
