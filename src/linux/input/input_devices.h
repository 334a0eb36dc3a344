#pragma once

#include <linux/input.h>

#include <bitset>
#include <optional>
#include <string>

namespace quorvelle {

class OutputFrames;

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
  // It also reports pointer events (axes or buttons): they need a virtual
  // pointer of their own.
  bool points = false;
};

// The kernel's input devices, as far as the tap needs more than plain read()
// and write() on their descriptors: opening and classifying, grabbing,
// querying state, and the uinput virtual keyboard and pointers. Tests replace
// it to drive the tap over sockets.
class InputDevices {
 public:
  virtual ~InputDevices() = default;

  // A descriptor to which events written are the new keyboard's own, and from
  // which the light changes the display server makes to it are read.
  virtual std::optional<int> createVirtualKeyboard(const std::string& uinputPath, const std::string& name,
                                                   std::string* error) = 0;
  // A pointer with the pointer capabilities of the open device (its axes with
  // their ranges, buttons, touch slots, properties), to carry its pointer
  // events on while it is grabbed.
  virtual std::optional<int> createVirtualPointer(const std::string& uinputPath, int sourceFd,
                                                  std::string* error) = 0;
  // Either kind of virtual device.
  virtual void destroyVirtualDevice(int fd) = 0;

  virtual OpenedDevice open(const std::string& path, const std::string& virtualKeyboardName) = 0;
  // Exclusive: no one else receives the keyboard's events until it is closed.
  virtual bool grab(int fd, std::string* error) = 0;
  // Releases the grab and closes.
  virtual void close(int fd) = 0;

  // The keys down now, as the kernel sees them; nullopt when it cannot tell.
  virtual std::optional<KeyBits> keysDown(int fd) = 0;
  // Whether the Caps Lock light is lit; nullopt when the keyboard has none.
  virtual std::optional<bool> capsLockLight(int fd) = 0;
  // Appends events that set the device's absolute axes and touch slots to
  // their values now (the kernel drops those a copy already has): after
  // events were lost, they bring its virtual pointer back in line. Never
  // allocates: it runs on the key path.
  virtual void appendAbsoluteState(int fd, OutputFrames& out) = 0;
};

}  // namespace quorvelle
