#pragma once

#include <cstdint>
#include <vector>

#include "linux/keymap/hid_usage_table.h"

namespace quorvelle {

// A scancode as the kernel keymap reports it: up to 32 bytes, device-specific
// (USB HID keyboards use 0x70000 | usage, PS/2 keyboards the set-1 code).
using Scancode = std::vector<std::uint8_t>;

struct KeymapEntry {
  Scancode scancode;
  std::uint32_t keyCode = 0;
  bool operator==(const KeymapEntry&) const = default;
};

// A scancode whose key code we changed, with the key code it had before.
// While such a record exists the scancode is ours: restoring sets it back.
struct Replacement {
  Scancode scancode;
  std::uint32_t original = 0;
  bool operator==(const Replacement&) const = default;
};

struct KeymapPlan {
  // Key codes to write, in keymap order.
  std::vector<KeymapEntry> writes;
  // What the keymap replaces once the writes are done.
  std::vector<Replacement> replaced;
  // Mapping sources no entry of this keymap produces.
  std::vector<std::uint16_t> sourcesNotInKeymap;
};

// Brings one keyboard's keymap from its current entries to the mappings, given
// what was recorded as replaced on it before. Each entry's original key code
// (the recorded one, else the current one) is mapped, so a new mapping first
// undoes the old one and an empty mapping restores everything recorded.
// Recorded scancodes the keymap no longer has are forgotten.
KeymapPlan planKeymap(const std::vector<KeymapEntry>& current, const std::vector<Replacement>& recorded,
                      const std::vector<KeyCodeMapping>& mappings);

}  // namespace quorvelle
