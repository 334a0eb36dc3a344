// Fuzzes the text the key mapping tool reads from outside: the property text,
// and the conversion of what it accepts to key codes.
#include <cstddef>
#include <cstdint>
#include <string>
#include <string_view>

#include "linux/keymap/hid_usage_table.h"
#include "linux/keymap/property_text.h"

using namespace quorvelle;

extern "C" int LLVMFuzzerTestOneInput(const std::uint8_t* data, std::size_t size) {
  std::string_view text(reinterpret_cast<const char*>(data), size);
  std::string error;

  if (auto mappings = parseUserKeyMappingProperty(text, &error)) {
    error.clear();
    if (!keyCodeMappings(*mappings, &error) && error.empty()) __builtin_trap();
  } else if (error.empty()) {
    __builtin_trap();  // a refusal must say why
  }
  return 0;
}
