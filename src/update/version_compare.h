#pragma once

#include <optional>
#include <string_view>

namespace quorvelle {

// Compares two versions made of dotted decimal numbers ("1002003", "1.2.3");
// a missing part counts as 0, so "1.2" equals "1.2.0". Negative when a is
// older, 0 when equal, positive when newer; nullopt when either is not such a
// version. Numbers of any length compare correctly.
std::optional<int> compareVersions(std::string_view a, std::string_view b);

bool isVersion(std::string_view text);

}  // namespace quorvelle
