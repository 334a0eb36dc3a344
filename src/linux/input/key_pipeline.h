#pragma once

#include <linux/input.h>

#include <array>
#include <bitset>
#include <cstddef>
#include <cstdint>
#include <optional>
#include <vector>

#include "linux/input/keyboard_remapper.h"
#include "linux/input/input_devices.h"
#include "linux/input/output_frames.h"
#include "platform/event_tap.h"

namespace quorvelle {

// What the pipeline keeps of one grabbed keyboard.
class KeyboardKeys {
 public:
  explicit KeyboardKeys(int fd);

  // Keys the pipeline reports as another key (the key mapping in effect).
  // A key held while they change goes up as what it went down as.
  void setTranslations(const std::vector<KeyTranslation>& translations);
  // Where its pointer events go, when it also points; they pass unchanged.
  void setPointer(OutputFrames* pointer) { pointer_ = pointer; }

  int fd() const { return fd_; }
  OutputFrames* pointer() const { return pointer_; }
  // Events were lost and the loss has ended: the keys down now must be
  // passed to KeyPipeline::resync before anything else from this keyboard.
  bool resyncDue() const { return resyncDue_; }

 private:
  friend class KeyPipeline;
  int fd_;
  OutputFrames* pointer_ = nullptr;
  // Buttons down on the virtual pointer, to bring it in line after a loss.
  std::bitset<KEY_CNT> buttonsDown_;
  std::array<std::uint16_t, KEY_CNT> translation_;
  // The code each key went down as, 0 while it is up. A key goes up as what
  // it went down as, even when the translations changed in between.
  std::array<std::uint16_t, KEY_CNT> downAs_{};
  // After SYN_DROPPED, events are skipped up to the next report.
  bool syncing_ = false;
  bool resyncDue_ = false;
};

// The tap's event processing, from raw keyboard events to the virtual
// keyboard's: the handler for key downs and ups, synthetic modifiers for the
// flags it adds, physical modifiers passed through, key state tracked. The
// pointer events of a keyboard that points pass on to its virtual pointer.
// Nothing here allocates, logs or locks.
class KeyPipeline {
 public:
  KeyPipeline(EventTapCallback callback, void* userInfo, std::uint16_t hyperKeyCode, OutputFrames& out);

  // Enabled, key events go through the handler; disabled, they pass
  // unchanged. Disabling ends the synthetic modifiers.
  void setEnabled(bool enabled);
  bool enabled() const { return enabled_; }

  // One batch read from a keyboard, in order; leaves its output in out.
  // Returns how many events it took: it stops early when a loss of events
  // ends (keyboard.resyncDue()), for resync to come first.
  std::size_t process(KeyboardKeys& keyboard, const input_event* events, std::size_t count);
  // Brings the keys in line with what the kernel says is down now (nullopt
  // when it cannot tell: nothing changes). A keyboard that points has its
  // buttons brought in line on its pointer, after whatever is already there.
  void resync(KeyboardKeys& keyboard, const std::optional<KeyBits>& now);

  // The keyboard is gone: every key it held goes up.
  void releaseKeyboard(KeyboardKeys& keyboard);
  // Everything down on the virtual keyboard goes up, synthetic modifiers first.
  void releaseAll();
  // A Caps Lock press and release of the tap's own.
  void tapCapsLock();

  // Held on any grabbed keyboard (after translation).
  bool isKeyDown(std::uint16_t code) const { return code < KEY_CNT && holders_[code] > 0; }
  bool isOutputDown(std::uint16_t code) const { return code < KEY_CNT && outputDown_[code]; }
  // Whether the key's last press on the virtual keyboard was a synthetic
  // modifier, which the user has not pressed since: a press the user did not make.
  bool isPressedBySelf(std::uint16_t code) const;
  // The same for every synthetic modifier: bit i for kModifierKeys[i].
  unsigned pressedBySelfBits() const { return pressedBySelf_; }

 private:
  void key(KeyboardKeys& keyboard, std::uint16_t code, std::int32_t value);
  void button(KeyboardKeys& keyboard, std::uint16_t code, std::int32_t value);
  void resyncPointer(KeyboardKeys& keyboard, const KeyBits& now);
  void route(std::uint16_t code, std::int32_t value);
  void passModifier(std::uint16_t code, std::int32_t value);
  bool wouldWrite(std::uint16_t code, std::int32_t value) const;
  // Writes the key when the output changes by it; otherwise drops the scan
  // codes waiting for it.
  void writeIfDue(std::uint16_t code, std::int32_t value);
  void write(std::uint16_t code, std::int32_t value);
  void alignSynthetic(ModifierFlags flags, bool mayPress);
  void releaseSynthetic();
  void setSynthetic(std::size_t index, bool down);
  void dropped(KeyboardKeys& keyboard);
  ModifierFlags physicalFlags() const;

  EventTapCallback callback_;
  void* userInfo_;
  std::uint16_t hyperKeyCode_;
  OutputFrames& out_;
  bool enabled_ = false;

  // Grabbed keyboards holding each key (after translation).
  std::array<std::uint8_t, KEY_CNT> holders_{};
  std::bitset<KEY_CNT> outputDown_;
  // Synthetic modifiers down, one bit per entry of kModifierKeys.
  unsigned synthetic_ = 0;
  // Synthetic modifiers whose key was last pressed as one, same bits.
  unsigned pressedBySelf_ = 0;
  // Scan codes wait for their key: they leave with it or not at all.
  static constexpr std::size_t kMaxPendingMisc = 4;
  input_event pendingMisc_[kMaxPendingMisc];
  std::size_t pendingMiscCount_ = 0;
};

}  // namespace quorvelle
