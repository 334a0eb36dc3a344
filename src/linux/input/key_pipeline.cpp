#include "linux/input/key_pipeline.h"

#include "linux/input/device_kind.h"
#include "engine_protocol/modifier_keys.h"

namespace quorvelle {

namespace {
constexpr std::int32_t kUp = 0;
constexpr std::int32_t kDown = 1;
constexpr std::int32_t kRepeat = 2;

// The entry of kModifierKeys whose synthetic key this is, or -1.
int syntheticIndex(std::uint16_t code) {
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if (kModifierKeys[i].left == code) return static_cast<int>(i);
  }
  return -1;
}
}  // namespace

KeyboardKeys::KeyboardKeys(int fd) : fd_(fd) {
  for (std::size_t code = 0; code < translation_.size(); ++code) {
    translation_[code] = static_cast<std::uint16_t>(code);
  }
}

void KeyboardKeys::setTranslations(const std::vector<KeyTranslation>& translations) {
  for (std::size_t code = 0; code < translation_.size(); ++code) {
    translation_[code] = static_cast<std::uint16_t>(code);
  }
  for (const KeyTranslation& translation : translations) {
    if (translation.from < KEY_CNT && translation.to < KEY_CNT && translation.to != KEY_RESERVED) {
      translation_[translation.from] = translation.to;
    }
  }
}

KeyPipeline::KeyPipeline(EventTapCallback callback, void* userInfo, std::uint16_t hyperKeyCode,
                         OutputFrames& out)
    : callback_(callback), userInfo_(userInfo), hyperKeyCode_(hyperKeyCode), out_(out) {}

void KeyPipeline::setEnabled(bool enabled) {
  enabled_ = enabled;
  if (!enabled) {
    releaseSynthetic();
    out_.report();
  }
}

std::size_t KeyPipeline::process(KeyboardKeys& keyboard, const input_event* events, std::size_t count) {
  for (std::size_t i = 0; i < count; ++i) {
    const input_event& event = events[i];
    if (keyboard.syncing_) {
      if (event.type == EV_SYN && event.code == SYN_REPORT) {
        keyboard.syncing_ = false;
        keyboard.resyncDue_ = true;
        return i + 1;
      }
      continue;
    }
    OutputFrames* pointer = keyboard.pointer_;
    switch (event.type) {
      case EV_SYN:
        if (event.code == SYN_REPORT) {
          pendingMiscCount_ = 0;
          out_.report();
          if (pointer) pointer->report();
        } else if (event.code == SYN_DROPPED) {
          dropped(keyboard);
        } else if (pointer) {
          pointer->reserve();
          pointer->append(event.type, event.code, event.value);  // SYN_MT_REPORT
        }
        break;
      case EV_KEY:
        if (pointer && !isVirtualKeyboardKey(event.code)) button(keyboard, event.code, event.value);
        else key(keyboard, event.code, event.value);
        break;
      case EV_MSC:
        // A scan code goes with the key or button after it; a timestamp and
        // the like belong to the pointer's frame.
        if (event.code == MSC_SCAN || !pointer) {
          if (pendingMiscCount_ < kMaxPendingMisc) pendingMisc_[pendingMiscCount_++] = event;
          break;
        }
        [[fallthrough]];
      case EV_REL:
      case EV_ABS:
      case EV_SW:
        if (pointer) {
          pointer->reserve();
          pointer->append(event.type, event.code, event.value);
        }
        break;
      default:
        // Lights and the like are the tap's to set, never to pass on: a light
        // written to the virtual keyboard would come back to us.
        break;
    }
  }
  return count;
}

void KeyPipeline::key(KeyboardKeys& keyboard, std::uint16_t code, std::int32_t value) {
  if (code == KEY_RESERVED || code >= KEY_CNT) return;
  std::uint16_t translated = keyboard.downAs_[code];
  if (value == kDown) {
    if (translated != 0) return;  // already down: the kernel never says so twice
    translated = keyboard.translation_[code];
    keyboard.downAs_[code] = translated;
    ++holders_[translated];
  } else if (value == kUp) {
    // A key that went down before the grab is not ours to release.
    if (translated == 0) return;
    keyboard.downAs_[code] = 0;
    --holders_[translated];
  } else if (value == kRepeat) {
    if (translated == 0) return;
  } else {
    return;
  }
  route(translated, value);
}

// Buttons are no keys to the handler: they pass as they are, scan code first.
void KeyPipeline::button(KeyboardKeys& keyboard, std::uint16_t code, std::int32_t value) {
  if (code == KEY_RESERVED || code >= KEY_CNT) return;
  OutputFrames& pointer = *keyboard.pointer_;
  pointer.reserve();
  for (std::size_t i = 0; i < pendingMiscCount_; ++i) {
    pointer.append(EV_MSC, pendingMisc_[i].code, pendingMisc_[i].value);
  }
  pendingMiscCount_ = 0;
  pointer.append(EV_KEY, code, value);
  if (value != kRepeat) keyboard.buttonsDown_[code] = value != kUp;
}

void KeyPipeline::route(std::uint16_t code, std::int32_t value) {
  out_.reserve();
  if (isModifierKey(code)) {
    passModifier(code, value);
    return;
  }
  if (!enabled_) {
    writeIfDue(code, value);
    return;
  }
  KeyEvent event{value == kUp ? kKeyUpEvent : kKeyDownEvent, code, physicalFlags()};
  KeyEvent* result = callback_(event.type, &event, userInfo_);
  // Synthetic modifiers never outlive the hyper hold.
  if (code == hyperKeyCode_ && value == kUp) releaseSynthetic();
  if (result == nullptr) {
    // A key the output holds (pressed while the engine was off) still goes
    // up, or it would stay down.
    if (value == kUp) writeIfDue(code, value);
    else pendingMiscCount_ = 0;
    return;
  }
  if (!wouldWrite(result->keyCode, value)) {
    pendingMiscCount_ = 0;
    return;
  }
  // Only a key press may bring synthetic modifiers in: before a release or a
  // repeat they would make a lone modifier tap, which desktops act on.
  alignSynthetic(result->flags, value == kDown);
  write(result->keyCode, value);
}

void KeyPipeline::passModifier(std::uint16_t code, std::int32_t value) {
  if (value == kDown) {
    for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
      if ((synthetic_ & (1u << i)) && kModifierKeys[i].left == code) {
        // Already down as a synthetic modifier: it is the user's from now on.
        synthetic_ &= ~(1u << i);
        pressedBySelf_ &= ~(1u << i);
        pendingMiscCount_ = 0;
        return;
      }
    }
  }
  writeIfDue(code, value);
}

bool KeyPipeline::wouldWrite(std::uint16_t code, std::int32_t value) const {
  if (code == KEY_RESERVED || code >= KEY_CNT) return false;
  if (value == kDown) return !outputDown_[code];
  if (value == kRepeat) return outputDown_[code];
  // Up only when no other keyboard still holds it.
  return outputDown_[code] && holders_[code] == 0;
}

void KeyPipeline::writeIfDue(std::uint16_t code, std::int32_t value) {
  if (wouldWrite(code, value)) write(code, value);
  else pendingMiscCount_ = 0;  // its scan codes go with it
}

void KeyPipeline::write(std::uint16_t code, std::int32_t value) {
  for (std::size_t i = 0; i < pendingMiscCount_; ++i) {
    out_.append(EV_MSC, pendingMisc_[i].code, pendingMisc_[i].value);
  }
  pendingMiscCount_ = 0;
  out_.append(EV_KEY, code, value);
  if (value != kRepeat) outputDown_[code] = value == kDown;
  const int index = syntheticIndex(code);
  if (value == kDown && index >= 0) pressedBySelf_ &= ~(1u << index);
}

bool KeyPipeline::isPressedBySelf(std::uint16_t code) const {
  const int index = syntheticIndex(code);
  return index >= 0 && (pressedBySelf_ & (1u << index)) != 0;
}

void KeyPipeline::alignSynthetic(ModifierFlags flags, bool mayPress) {
  unsigned wanted = 0;
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    const ModifierKeys& keys = kModifierKeys[i];
    // A modifier the user holds is not pressed again.
    const bool held = holders_[keys.left] > 0 || holders_[keys.right] > 0;
    if ((flags & keys.flag) && !held) wanted |= 1u << i;
  }
  for (std::size_t i = kModifierKeys.size(); i-- > 0;) {
    if ((synthetic_ & (1u << i)) && !(wanted & (1u << i))) setSynthetic(i, false);
  }
  if (!mayPress) return;
  for (std::size_t i = 0; i < kModifierKeys.size(); ++i) {
    if ((wanted & (1u << i)) && !(synthetic_ & (1u << i))) setSynthetic(i, true);
  }
}

void KeyPipeline::releaseSynthetic() {
  for (std::size_t i = kModifierKeys.size(); i-- > 0;) {
    if (synthetic_ & (1u << i)) setSynthetic(i, false);
  }
}

// Each synthetic change is a frame of its own, as a real keyboard sends it.
void KeyPipeline::setSynthetic(std::size_t index, bool down) {
  const std::uint16_t code = kModifierKeys[index].left;
  if (down) {
    synthetic_ |= 1u << index;
    if (outputDown_[code]) return;
  } else {
    synthetic_ &= ~(1u << index);
    if (!outputDown_[code] || holders_[code] > 0) return;
  }
  out_.report();
  out_.append(EV_KEY, code, down ? kDown : kUp);
  out_.report();
  outputDown_[code] = down;
  if (down) pressedBySelf_ |= 1u << index;
}

void KeyPipeline::dropped(KeyboardKeys& keyboard) {
  pendingMiscCount_ = 0;
  out_.report();
  if (keyboard.pointer_) keyboard.pointer_->report();
  if (enabled_) {
    KeyEvent event{kTapDisabledByTimeout, 0, physicalFlags()};
    callback_(kTapDisabledByTimeout, &event, userInfo_);
  }
  releaseSynthetic();
  out_.report();
  keyboard.syncing_ = true;
}

void KeyPipeline::resync(KeyboardKeys& keyboard, const std::optional<KeyBits>& now) {
  keyboard.resyncDue_ = false;
  pendingMiscCount_ = 0;
  if (!now) return;
  if (keyboard.pointer_) resyncPointer(keyboard, *now);
  // Releases first, so that presses see the modifiers as they are now.
  for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
    if (keyboard.downAs_[code] != 0 && !(*now)[code]) {
      key(keyboard, code, kUp);
      out_.report();
    }
  }
  for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
    if (keyboard.pointer_ && !isVirtualKeyboardKey(code)) continue;  // a button, in line already
    if (keyboard.downAs_[code] == 0 && (*now)[code]) {
      key(keyboard, code, kDown);
      out_.report();
    }
  }
}

void KeyPipeline::resyncPointer(KeyboardKeys& keyboard, const KeyBits& now) {
  OutputFrames& pointer = *keyboard.pointer_;
  for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
    if (isVirtualKeyboardKey(code) || keyboard.buttonsDown_[code] == now[code]) continue;
    pointer.reserve();
    pointer.append(EV_KEY, code, now[code] ? kDown : kUp);
    keyboard.buttonsDown_[code] = now[code];
  }
  pointer.report();
}

void KeyPipeline::releaseKeyboard(KeyboardKeys& keyboard) {
  pendingMiscCount_ = 0;
  out_.report();
  for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
    if (keyboard.downAs_[code] != 0) {
      key(keyboard, code, kUp);
      out_.report();
    }
  }
}

void KeyPipeline::releaseAll() {
  pendingMiscCount_ = 0;
  out_.report();
  releaseSynthetic();
  for (std::uint16_t code = 1; code < KEY_CNT; ++code) {
    if (outputDown_[code]) {
      out_.reserve();
      out_.append(EV_KEY, code, kUp);
      out_.report();
      outputDown_[code] = false;
    }
  }
}

void KeyPipeline::tapCapsLock() {
  if (outputDown_[KEY_CAPSLOCK]) return;
  out_.report();
  out_.append(EV_KEY, KEY_CAPSLOCK, kDown);
  out_.report();
  out_.append(EV_KEY, KEY_CAPSLOCK, kUp);
  out_.report();
}

ModifierFlags KeyPipeline::physicalFlags() const {
  ModifierFlags flags = 0;
  for (const ModifierKeys& keys : kModifierKeys) {
    if (holders_[keys.left] > 0 || holders_[keys.right] > 0) flags |= keys.flag;
  }
  return flags;
}

}  // namespace quorvelle
