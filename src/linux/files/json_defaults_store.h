#pragma once

#include <nlohmann/json.hpp>
#include <string>

#include "platform/defaults_store.h"
#include "platform/log.h"

namespace quorvelle {

// A defaults domain kept as one JSON object in a file. Values keep their
// types: booleans, signed and unsigned 64-bit integers, reals and text. Every
// change rewrites the file atomically (through a symbolic link, which stays);
// a file that cannot be read (no regular file, over 1 MiB, nested deeper
// than 64 levels, not a JSON object) is moved aside, never overwritten.
class JsonDefaultsStore : public DefaultsStore {
 public:
  JsonDefaultsStore(std::string path, Log& log);

  std::optional<PropertyValue> object(const std::string& key) const override;
  void setBool(const std::string& key, bool value) override;
  void setUnsigned(const std::string& key, std::uint64_t value) override;
  void remove(const std::string& key) override;

  // $XDG_CONFIG_HOME/<domain>.json, with ~/.config when the variable is unset.
  static std::string pathForDomain(const std::string& domain);

 private:
  void load();
  void moveAside(const std::string& reason);
  void save();

  std::string path_;
  Log& log_;
  nlohmann::json values_ = nlohmann::json::object();
  // Set when an unreadable file could not be moved aside: writing would
  // destroy it, so changes stay in memory.
  bool readOnly_ = false;
};

}  // namespace quorvelle
