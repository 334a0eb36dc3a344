#pragma once

#include <cstdint>
#include <optional>
#include <string>
#include <string_view>
#include <vector>

namespace quorvelle {

// One entry of the UserKeyMapping property: HID usages written as
// (usage page << 32) | usage.
struct UsageMapping {
  std::uint64_t source = 0;
  std::uint64_t destination = 0;
  bool operator==(const UsageMapping&) const = default;
};

// Parses {"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":N,
// "HIDKeyboardModifierMappingDst":N}, ...]}: JSON with unquoted decimal or
// 0x-hexadecimal numbers and any whitespace. Checks the syntax only; which
// usages are allowed is keyCodeMappings' business. nullopt with *error
// naming the offset and what was expected.
std::optional<std::vector<UsageMapping>> parseUserKeyMappingProperty(std::string_view text,
                                                                     std::string* error);

}  // namespace quorvelle
