#pragma once

#include <map>
#include <optional>
#include <string>

#include "platform/property_value.h"

namespace quorvelle {

// The information list of a bundle: CFBundleIdentifier, CFBundleVersion, ...
using InfoDictionary = std::map<std::string, PropertyValue>;

class Bundles {
 public:
  virtual ~Bundles() = default;

  // The folder of the running application bundle, e.g. /opt/Quorvelle.app.
  virtual std::string mainBundlePath() const = 0;

  // The information list of the bundle at the path; nullopt when there is no
  // bundle there or its information cannot be read.
  virtual std::optional<InfoDictionary> infoDictionary(const std::string& bundlePath) const = 0;

  // A text value of the running bundle's information list; nullopt when it is
  // missing or not text.
  std::optional<std::string> mainInfoString(const std::string& key) const {
    std::optional<InfoDictionary> info = infoDictionary(mainBundlePath());
    if (!info) return std::nullopt;
    auto it = info->find(key);
    if (it == info->end()) return std::nullopt;
    if (const std::string* text = std::get_if<std::string>(&it->second)) return *text;
    return std::nullopt;
  }
};

}  // namespace quorvelle
