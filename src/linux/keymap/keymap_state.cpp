#include "linux/keymap/keymap_state.h"

#include <cstdio>
#include <sstream>

#include "linux/keymap/hid_usage_table.h"

namespace quorvelle {
namespace {

constexpr std::string_view kHeader = "quorvelle-keymap-state 1";
constexpr size_t kMaxDevices = 256;
constexpr size_t kMaxReplacedPerDevice = 4096;
constexpr size_t kMaxScancodeBytes = 32;  // struct input_keymap_entry
constexpr size_t kMaxStringLength = 256;
constexpr std::uint32_t kMaxKeyCode = 0x2ff;  // KEY_MAX

bool isPlain(char c) {
  return (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '.' ||
         c == '_' || c == '-' || c == ':' || c == '/';
}

// Device strings hold spaces and anything else; "=" keeps an empty one a token.
std::string encodeString(const std::string& text) {
  std::string out = "=";
  for (char c : text) {
    if (isPlain(c)) {
      out += c;
    } else {
      char escape[4];
      std::snprintf(escape, sizeof escape, "%%%02X", static_cast<unsigned char>(c));
      out += escape;
    }
  }
  return out;
}

int hexValue(char c) {
  if (c >= '0' && c <= '9') return c - '0';
  if (c >= 'a' && c <= 'f') return c - 'a' + 10;
  if (c >= 'A' && c <= 'F') return c - 'A' + 10;
  return -1;
}

bool decodeString(const std::string& token, std::string* out) {
  if (token.empty() || token[0] != '=') return false;
  out->clear();
  for (size_t i = 1; i < token.size(); ++i) {
    if (token[i] == '%') {
      if (i + 2 >= token.size()) return false;
      int high = hexValue(token[i + 1]), low = hexValue(token[i + 2]);
      if (high < 0 || low < 0) return false;
      *out += static_cast<char>(high * 16 + low);
      i += 2;
    } else if (isPlain(token[i])) {
      *out += token[i];
    } else {
      return false;
    }
  }
  return out->size() <= kMaxStringLength;
}

std::string hex4(std::uint16_t value) {
  char text[8];
  std::snprintf(text, sizeof text, "%04x", value);
  return text;
}

bool parseHex4(const std::string& token, std::uint16_t* out) {
  if (token.size() != 4) return false;
  unsigned value = 0;
  for (char c : token) {
    int digit = hexValue(c);
    if (digit < 0) return false;
    value = value * 16 + static_cast<unsigned>(digit);
  }
  *out = static_cast<std::uint16_t>(value);
  return true;
}

std::string encodeScancode(const Scancode& scancode) {
  std::string out;
  for (std::uint8_t byte : scancode) {
    char text[4];
    std::snprintf(text, sizeof text, "%02x", byte);
    out += text;
  }
  return out;
}

bool parseScancode(const std::string& token, Scancode* out) {
  if (token.empty() || token.size() % 2 != 0 || token.size() / 2 > kMaxScancodeBytes) return false;
  out->clear();
  for (size_t i = 0; i < token.size(); i += 2) {
    int high = hexValue(token[i]), low = hexValue(token[i + 1]);
    if (high < 0 || low < 0) return false;
    out->push_back(static_cast<std::uint8_t>(high * 16 + low));
  }
  return true;
}

bool parseKeyCode(const std::string& token, std::uint32_t* out) {
  if (token.empty() || token.size() > 4 || (token.size() > 1 && token[0] == '0')) return false;
  std::uint32_t value = 0;
  for (char c : token) {
    if (c < '0' || c > '9') return false;
    value = value * 10 + static_cast<std::uint32_t>(c - '0');
  }
  if (value > kMaxKeyCode) return false;
  *out = value;
  return true;
}

std::vector<std::string> splitWords(const std::string& line) {
  std::vector<std::string> words;
  std::istringstream stream(line);
  std::string word;
  while (stream >> word) words.push_back(word);
  return words;
}

}  // namespace

const DeviceRecord* KeymapState::find(const DeviceIdentity& device) const {
  for (const DeviceRecord& record : devices) {
    if (record.device == device) return &record;
  }
  return nullptr;
}

void KeymapState::setReplaced(const DeviceIdentity& device, std::vector<Replacement> replaced) {
  for (size_t i = 0; i < devices.size(); ++i) {
    if (devices[i].device == device) {
      if (replaced.empty()) {
        devices.erase(devices.begin() + static_cast<std::ptrdiff_t>(i));
      } else {
        devices[i].replaced = std::move(replaced);
      }
      return;
    }
  }
  if (!replaced.empty()) devices.push_back({device, std::move(replaced)});
}

std::string serializeKeymapState(const KeymapState& state) {
  std::string text(kHeader);
  text += "\nmapping " + formatMappingList(state.mapping) + "\n";
  for (const DeviceRecord& record : state.devices) {
    const DeviceIdentity& d = record.device;
    text += "device " + hex4(d.bustype) + " " + hex4(d.vendor) + " " + hex4(d.product) + " " +
            hex4(d.version) + " " + encodeString(d.name) + " " + encodeString(d.phys) + " " +
            encodeString(d.uniq) + "\n";
    for (const Replacement& replacement : record.replaced) {
      text += "replaced " + encodeScancode(replacement.scancode) + " " +
              std::to_string(replacement.original) + "\n";
    }
  }
  return text + "end\n";
}

std::optional<KeymapState> parseKeymapState(std::string_view text, std::string* error) {
  KeymapState state;
  std::vector<std::string> lines;
  size_t start = 0;
  while (start < text.size()) {
    size_t end = text.find('\n', start);
    if (end == std::string_view::npos) {
      *error = "the last line is unterminated (a cut-off file?)";
      return std::nullopt;
    }
    lines.emplace_back(text.substr(start, end - start));
    start = end + 1;
  }
  auto fail = [&](size_t line, const std::string& what) {
    *error = "line " + std::to_string(line + 1) + ": " + what;
    return std::nullopt;
  };
  if (lines.empty() || lines[0] != kHeader) return fail(0, "not a key mapping state file");
  if (lines.size() < 3 || lines.back() != "end") {
    *error = "the file does not end with \"end\" (a cut-off file?)";
    return std::nullopt;
  }
  const std::string mappingPrefix = "mapping ";
  if (lines[1].compare(0, mappingPrefix.size(), mappingPrefix) != 0) return fail(1, "expected the mapping");
  std::string why;
  std::optional<std::vector<UsageMapping>> mapping = parseMappingList(lines[1].substr(mappingPrefix.size()), &why);
  if (!mapping) return fail(1, "bad mapping " + why);
  if (!keyCodeMappings(*mapping, &why)) return fail(1, "bad mapping: " + why);
  state.mapping = std::move(*mapping);

  for (size_t i = 2; i + 1 < lines.size(); ++i) {
    std::vector<std::string> words = splitWords(lines[i]);
    if (words.size() == 8 && words[0] == "device") {
      if (state.devices.size() == kMaxDevices) return fail(i, "too many devices");
      DeviceRecord record;
      DeviceIdentity& d = record.device;
      if (!parseHex4(words[1], &d.bustype) || !parseHex4(words[2], &d.vendor) ||
          !parseHex4(words[3], &d.product) || !parseHex4(words[4], &d.version)) {
        return fail(i, "bad device id");
      }
      if (!decodeString(words[5], &d.name) || !decodeString(words[6], &d.phys) ||
          !decodeString(words[7], &d.uniq)) {
        return fail(i, "bad device name");
      }
      if (state.find(d)) return fail(i, "device listed twice");
      state.devices.push_back(std::move(record));
    } else if (words.size() == 3 && words[0] == "replaced") {
      if (state.devices.empty()) return fail(i, "replaced key before any device");
      DeviceRecord& record = state.devices.back();
      if (record.replaced.size() == kMaxReplacedPerDevice) return fail(i, "too many replaced keys");
      Replacement replacement;
      if (!parseScancode(words[1], &replacement.scancode)) return fail(i, "bad scancode");
      if (!parseKeyCode(words[2], &replacement.original)) return fail(i, "bad key code");
      for (const Replacement& earlier : record.replaced) {
        if (earlier.scancode == replacement.scancode) return fail(i, "scancode listed twice");
      }
      record.replaced.push_back(std::move(replacement));
    } else {
      return fail(i, "unexpected line");
    }
  }
  for (const DeviceRecord& record : state.devices) {
    if (record.replaced.empty()) {
      *error = "a device without replaced keys";
      return std::nullopt;
    }
  }
  return state;
}

}  // namespace quorvelle
