#include "update/version_compare.h"

#include <vector>

namespace quorvelle {
namespace {

// The parts without leading zeros, or nullopt when the text is not a version.
std::optional<std::vector<std::string_view>> parts(std::string_view text) {
  std::vector<std::string_view> result;
  size_t start = 0;
  for (;;) {
    size_t end = text.find('.', start);
    std::string_view part = text.substr(start, end == std::string_view::npos ? std::string_view::npos : end - start);
    if (part.empty()) return std::nullopt;
    for (char c : part) {
      if (c < '0' || c > '9') return std::nullopt;
    }
    while (part.size() > 1 && part.front() == '0') part.remove_prefix(1);
    result.push_back(part);
    if (end == std::string_view::npos) return result;
    start = end + 1;
  }
}

int compareNumbers(std::string_view a, std::string_view b) {
  if (a.size() != b.size()) return a.size() < b.size() ? -1 : 1;
  int order = a.compare(b);
  return order < 0 ? -1 : (order > 0 ? 1 : 0);
}

}  // namespace

std::optional<int> compareVersions(std::string_view a, std::string_view b) {
  std::optional<std::vector<std::string_view>> left = parts(a);
  std::optional<std::vector<std::string_view>> right = parts(b);
  if (!left || !right) return std::nullopt;
  for (size_t i = 0; i < left->size() || i < right->size(); ++i) {
    std::string_view x = i < left->size() ? (*left)[i] : "0";
    std::string_view y = i < right->size() ? (*right)[i] : "0";
    if (int order = compareNumbers(x, y)) return order;
  }
  return 0;
}

bool isVersion(std::string_view text) { return parts(text).has_value(); }

}  // namespace quorvelle
