#include "linux/keymap/hid_usage_table.h"

#include <cstdio>

namespace quorvelle {
namespace {

// The kernel's hid_keyboard[] table (drivers/hid/hid-input.c): index is the
// page-7 usage, value the key code. 0 and 240 (KEY_UNKNOWN) mean no key.
constexpr std::uint8_t kUsageToKeyCode[256] = {
    0,   0,   0,   0,   30,  48,  46,  32,  18,  33,  34,  35,  23,  36,  37,  38,
    50,  49,  24,  25,  16,  19,  31,  20,  22,  47,  17,  45,  21,  44,  2,   3,
    4,   5,   6,   7,   8,   9,   10,  11,  28,  1,   14,  15,  57,  12,  13,  26,
    27,  43,  43,  39,  40,  41,  51,  52,  53,  58,  59,  60,  61,  62,  63,  64,
    65,  66,  67,  68,  87,  88,  99,  70,  119, 110, 102, 104, 111, 107, 109, 106,
    105, 108, 103, 69,  98,  55,  74,  78,  96,  79,  80,  81,  75,  76,  77,  71,
    72,  73,  82,  83,  86,  127, 116, 117, 183, 184, 185, 186, 187, 188, 189, 190,
    191, 192, 193, 194, 134, 138, 130, 132, 128, 129, 131, 137, 133, 135, 136, 113,
    115, 114, 240, 240, 240, 121, 240, 89,  93,  124, 92,  94,  95,  240, 240, 240,
    122, 123, 90,  91,  85,  240, 240, 240, 240, 240, 240, 240, 111, 240, 240, 240,
    240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,
    240, 240, 240, 240, 240, 240, 179, 180, 240, 240, 240, 240, 240, 240, 240, 240,
    240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240, 240,
    240, 240, 240, 240, 240, 240, 240, 240, 111, 240, 240, 240, 240, 240, 240, 240,
    29,  42,  56,  125, 97,  54,  100, 126, 164, 166, 165, 163, 161, 115, 114, 113,
    150, 158, 159, 128, 136, 177, 178, 176, 142, 152, 173, 140, 240, 240, 240, 240,
};

constexpr std::uint8_t kUnknownKey = 240;

std::string hex(std::uint64_t value) {
  char text[32];
  std::snprintf(text, sizeof text, "0x%llX", static_cast<unsigned long long>(value));
  return text;
}

// The key code of one property value, or nullopt with *error saying why.
std::optional<std::uint16_t> keyCodeForValue(std::uint64_t value, const char* role, size_t index,
                                             std::string* error) {
  std::string where = "entry " + std::to_string(index + 1) + ": " + role + " " + hex(value);
  if ((value >> 32) != kKeyboardUsagePage) {
    *error = where + " is not on HID usage page 7 (keyboard); write it as 0x7000000XX";
    return std::nullopt;
  }
  std::optional<std::uint16_t> code = keyCodeForKeyboardUsage(static_cast<std::uint32_t>(value));
  if (!code) *error = where + " is not a key the kernel knows";
  return code;
}

}  // namespace

std::optional<std::uint16_t> keyCodeForKeyboardUsage(std::uint32_t usage) {
  if (usage >= 256) return std::nullopt;
  std::uint8_t code = kUsageToKeyCode[usage];
  if (code == 0 || code == kUnknownKey) return std::nullopt;
  return code;
}

std::optional<std::vector<KeyCodeMapping>> keyCodeMappings(const std::vector<UsageMapping>& mappings,
                                                           std::string* error) {
  std::vector<KeyCodeMapping> result;
  for (size_t i = 0; i < mappings.size(); ++i) {
    std::optional<std::uint16_t> from = keyCodeForValue(mappings[i].source, "source", i, error);
    if (!from) return std::nullopt;
    std::optional<std::uint16_t> to = keyCodeForValue(mappings[i].destination, "destination", i, error);
    if (!to) return std::nullopt;
    for (const KeyCodeMapping& earlier : result) {
      // Two usages can share a key code (0x31 and 0x32 are both backslash).
      if (earlier.from == *from) {
        *error = "entry " + std::to_string(i + 1) + ": source " + hex(mappings[i].source) +
                 " is mapped twice";
        return std::nullopt;
      }
    }
    result.push_back({*from, *to});
  }
  return result;
}

}  // namespace quorvelle
