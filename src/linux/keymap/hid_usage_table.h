#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <vector>

#include "linux/keymap/property_text.h"

namespace quorvelle {

inline constexpr std::uint64_t kKeyboardUsagePage = 0x07;

// The kernel key code (linux/input-event-codes.h) the kernel's HID input
// layer gives a keyboard usage (page 7), or nullopt when it gives none.
std::optional<std::uint16_t> keyCodeForKeyboardUsage(std::uint32_t usage);

// A key the kernel keymap reports as another key.
struct KeyCodeMapping {
  std::uint16_t from = 0;
  std::uint16_t to = 0;
  bool operator==(const KeyCodeMapping&) const = default;
};

// Turns property entries into key code mappings. Every usage must be on page
// 7 and known to the kernel, and no source may appear twice. nullopt with
// *error naming the offending entry otherwise.
std::optional<std::vector<KeyCodeMapping>> keyCodeMappings(const std::vector<UsageMapping>& mappings,
                                                           std::string* error);

}  // namespace quorvelle
