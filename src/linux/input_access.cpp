#include "linux/input_access.h"

#include <fcntl.h>
#include <string.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <optional>
#include <vector>

#include "linux/device_kind.h"
#include "linux/file_util.h"
#include "linux/tap/input_directory_watch.h"
#include "linux/virtual_keyboard_identity.h"

namespace quorvelle {

namespace {

std::optional<std::string> readLine(const std::string& path) {
  std::string error;
  std::optional<std::string> text = readFile(path, &error);
  if (!text) return std::nullopt;
  while (!text->empty() && (text->back() == '\n' || text->back() == ' ')) text->pop_back();
  return text;
}

std::optional<unsigned long long> readHex(const std::string& text) {
  if (text.empty() || text.size() > 16) return std::nullopt;
  char* end = nullptr;
  const unsigned long long value = std::strtoull(text.c_str(), &end, 16);
  if (end != text.c_str() + text.size()) return std::nullopt;
  return value;
}

// The kernel's description of an event node, from sysfs: no device opened.
// Bitmaps there are hexadecimal words, the lowest bits last.
std::optional<DeviceDescription> describeFromSysfs(const std::string& deviceFolder) {
  const std::optional<std::string> name = readLine(deviceFolder + "/name");
  const std::optional<std::string> keys = readLine(deviceFolder + "/capabilities/key");
  if (!name || !keys) return std::nullopt;
  DeviceDescription description;
  description.name = *name;
  const auto id = [&](const char* field) -> std::uint16_t {
    const std::optional<std::string> text = readLine(deviceFolder + "/id/" + field);
    const std::optional<unsigned long long> value = text ? readHex(*text) : std::nullopt;
    return value ? static_cast<std::uint16_t>(*value) : 0;
  };
  description.bus = id("bustype");
  description.vendor = id("vendor");
  description.product = id("product");
  const std::size_t lastWord = keys->find_last_of(' ');
  const std::optional<unsigned long long> lowKeys =
      readHex(lastWord == std::string::npos ? *keys : keys->substr(lastWord + 1));
  if (!lowKeys) return std::nullopt;
  description.firstKeys = static_cast<std::uint32_t>(*lowKeys & 0xFFFFFFFFull);
  return description;
}

bool accessible(const std::string& path, int mode, std::string* why) {
  if (faccessat(AT_FDCWD, path.c_str(), mode, AT_EACCESS) == 0) return true;
  if (why) *why = path + ": " + strerror(errno);
  return false;
}

}  // namespace

bool hasInputAccess(const InputAccessPaths& paths, std::string* why) {
  if (!accessible(paths.uinputPath, R_OK | W_OK, why)) return false;
  for (const std::string& node : InputDirectoryWatch::list(paths.inputDirectory)) {
    const std::optional<DeviceDescription> description =
        describeFromSysfs(paths.sysClassInput + "/" + node + "/device");
    // Not described: not known to be a keyboard, so not needed.
    if (!description || classifyDevice(*description, kVirtualKeyboardName) != DeviceKind::Keyboard) continue;
    if (!accessible(paths.inputDirectory + "/" + node, R_OK, why)) return false;
  }
  return true;
}

}  // namespace quorvelle
