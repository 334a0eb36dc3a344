#pragma once

#include <cstdint>
#include <optional>
#include <string>

#include "platform/bundle.h"

namespace quorvelle {

// The build number of the bundle at the path (CFBundleVersion); nullopt when
// there is no bundle, no information list, or the value is not a whole
// base-10 number that fits 64 bits.
std::optional<std::int64_t> bundleVersion(const Bundles& bundles, const std::string& bundlePath);

// An optional single sign, then one or more ASCII digits, nothing else.
std::optional<std::int64_t> parseBundleVersion(const std::string& text);

}  // namespace quorvelle
