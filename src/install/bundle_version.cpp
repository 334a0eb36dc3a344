#include "install/bundle_version.h"

#include <limits>

namespace quorvelle {

std::optional<std::int64_t> bundleVersion(const Bundles& bundles, const std::string& bundlePath) {
  std::optional<InfoDictionary> info = bundles.infoDictionary(bundlePath);
  if (!info || info->empty()) return std::nullopt;
  auto it = info->find("CFBundleVersion");
  if (it == info->end()) return std::nullopt;
  const std::string* text = std::get_if<std::string>(&it->second);
  if (!text) return std::nullopt;
  return parseBundleVersion(*text);
}

std::optional<std::int64_t> parseBundleVersion(const std::string& text) {
  size_t i = 0;
  bool negative = false;
  if (i < text.size() && (text[i] == '+' || text[i] == '-')) {
    negative = text[i] == '-';
    ++i;
  }
  if (i == text.size()) return std::nullopt;
  // Accumulate as a negative number: its range holds the most negative value.
  std::int64_t value = 0;
  constexpr std::int64_t kMin = std::numeric_limits<std::int64_t>::min();
  for (; i < text.size(); ++i) {
    char c = text[i];
    if (c < '0' || c > '9') return std::nullopt;
    int digit = c - '0';
    if (value < (kMin + digit) / 10) return std::nullopt;
    value = value * 10 - digit;
  }
  if (negative) return value;
  if (value == kMin) return std::nullopt;
  return -value;
}

}  // namespace quorvelle
