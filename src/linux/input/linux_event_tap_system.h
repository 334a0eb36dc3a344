#pragma once

#include <cstdint>
#include <memory>
#include <string>

#include "linux/process/fd_watcher.h"
#include "linux/input/keyboard_remapper.h"
#include "linux/input/virtual_keyboard_identity.h"
#include "platform/event_tap.h"
#include "platform/hid_system.h"
#include "platform/log.h"

namespace quorvelle {

class InputDevices;
class LinuxEventTap;

struct LinuxEventTapOptions {
  // Where keyboards' event nodes appear and disappear.
  std::string inputDirectory = "/dev/input";
  std::string uinputPath = "/dev/uinput";
  std::string virtualKeyboardName = kVirtualKeyboardName;
  // How long a keyboard may keep keys down before it is grabbed anyway. Keys
  // pressed before the grab would otherwise be left down in the display server.
  double quietWaitSeconds = 1.0;
  // How long switching caps lock off may wait for the display server to show
  // it has opened the virtual keyboard (it writes the keyboard lights then).
  double capsLockWaitSeconds = 0.5;
};

// The session's keyboard tap on Linux: one uinput virtual keyboard that
// carries every key on to the display server, and an exclusive grab of every
// physical keyboard, present or plugged in later (with a virtual pointer for
// each one that also points). Events are read on the main
// thread through the FdWatcher. At most one tap exists at a time.
class LinuxEventTapSystem : public EventTapSystem {
 public:
  using Options = LinuxEventTapOptions;

  LinuxEventTapSystem(FdWatcher& watcher, KeyboardRemapper& remapper, Log& log, Options options = {});
  // With the device I/O replaced (tests drive the pipeline over sockets).
  LinuxEventTapSystem(FdWatcher& watcher, KeyboardRemapper& remapper, Log& log, Options options,
                      std::unique_ptr<InputDevices> devices);
  ~LinuxEventTapSystem() override;
  LinuxEventTapSystem(const LinuxEventTapSystem&) = delete;
  LinuxEventTapSystem& operator=(const LinuxEventTapSystem&) = delete;

  // nullptr when the virtual keyboard cannot be created (no access to uinput)
  // or a tap already exists; the reason is logged.
  std::unique_ptr<EventTap> createTap(std::uint64_t eventMask, EventTapCallback callback,
                                      void* userInfo) override;
  // Tracked from the grabbed keyboards' own events: no system call.
  bool isKeyPhysicallyDown(std::uint16_t keyCode) const override;
  // Whether the key's last press that the display server got was one of the
  // tap's synthetic modifiers, not one the user made (nor took over since).
  // The answer holds until the key is pressed again, so a reader of the
  // display server's events, who always lags behind, still gets it right.
  bool isKeyPressedByTap(std::uint16_t keyCode) const;
  // KEY_F18.
  std::uint16_t hyperKeyCode() const override;

  // The keyboards' descriptors, the only ones a key wakes, are watched by
  // keyWatcher from now on; the rest (new nodes, lights) stay with the
  // watcher the system was made with. A program with many descriptors keeps
  // those behind one (an EpollFdWatcher), so that poll() wakes for a key
  // having looked at few. Before the first tap only.
  void watchKeyboardsWith(FdWatcher& keyWatcher) { keyWatcher_ = &keyWatcher; }

  // Asks the remapper again for every grabbed keyboard's translations, as
  // when the key mapping changed. Keys held go up as what they went down as.
  void refreshTranslations();

  // Called with isKeyPressedByTap's answers for the synthetic modifiers
  // (bit i for kModifierKeys[i]) whenever they change, before the events
  // that changed them reach the display server. On the key path: the
  // listener must not allocate or block.
  using PressedByTapListener = void (*)(unsigned bits, void* context);
  void setPressedByTapListener(PressedByTapListener listener, void* context);

  // Switches the display server's caps lock off with a Caps Lock tap through
  // the virtual keyboard, when the Caps Lock light says it is on. Does nothing
  // without a tap or when the state cannot be known.
  HidSystem& hidSystem();

 private:
  class CapsLock;
  friend class LinuxEventTap;

  FdWatcher& watcher_;
  FdWatcher* keyWatcher_;
  KeyboardRemapper& remapper_;
  Log& log_;
  Options options_;
  std::unique_ptr<InputDevices> devices_;
  std::unique_ptr<CapsLock> capsLock_;
  LinuxEventTap* tap_ = nullptr;  // the live tap; it unregisters itself
  PressedByTapListener pressedByTapListener_ = nullptr;
  void* pressedByTapContext_ = nullptr;
};

}  // namespace quorvelle
