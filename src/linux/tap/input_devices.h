#pragma once

#include <linux/input.h>

#include <bitset>
#include <optional>
#include <string>

namespace quorvelle {

using KeyBits = std::bitset<KEY_CNT>;

// An event node, opened (non-blocking) when it is a keyboard to grab.
struct OpenedDevice {
  enum class Status {
    Keyboard,     // fd is open
    NotKeyboard,  // not one to grab; looking again will not change that
    Unavailable,  // cannot be opened now (permissions may follow), see error
  };
  Status status = Status::Unavailable;
  int fd = -1;
  std::string name;
  std::string error;
};

// The kernel's input devices, as far as the tap needs more than plain read()
// and write() on their descriptors: opening and classifying, grabbing,
// querying state, and the uinput virtual keyboard. Tests replace it to drive
// the tap over sockets.
class InputDevices {
 public:
  virtual ~InputDevices() = default;

  // A descriptor to which events written are the new keyboard's own, and from
  // which the light changes the display server makes to it are read.
  virtual std::optional<int> createVirtualKeyboard(const std::string& uinputPath, const std::string& name,
                                                   std::string* error) = 0;
  virtual void destroyVirtualKeyboard(int fd) = 0;

  virtual OpenedDevice open(const std::string& path, const std::string& virtualKeyboardName) = 0;
  // Exclusive: no one else receives the keyboard's events until it is closed.
  virtual bool grab(int fd, std::string* error) = 0;
  // Releases the grab and closes.
  virtual void close(int fd) = 0;

  // The keys down now, as the kernel sees them; nullopt when it cannot tell.
  virtual std::optional<KeyBits> keysDown(int fd) = 0;
  // Whether the Caps Lock light is lit; nullopt when the keyboard has none.
  virtual std::optional<bool> capsLockLight(int fd) = 0;
};

}  // namespace quorvelle
