#pragma once

#include <cctype>
#include <cstdint>
#include <optional>
#include <string>

#include "platform/property_value.h"

namespace quorvelle {

// The application's persistent preferences: typed values under string keys.
class DefaultsStore {
 public:
  virtual ~DefaultsStore() = default;

  // The stored value, or nullopt when the key is missing.
  virtual std::optional<PropertyValue> object(const std::string& key) const = 0;
  virtual void setBool(const std::string& key, bool value) = 0;
  virtual void setUnsigned(const std::string& key, std::uint64_t value) = 0;
  virtual void remove(const std::string& key) = 0;

  // The boolean reading of a key: false when missing; numbers are true when
  // not zero; text is true when, after blanks, a sign and leading zeros, it
  // starts with Y, T or a digit 1-9 ("YES", "true", "1").
  bool boolForKey(const std::string& key) const {
    std::optional<PropertyValue> value = object(key);
    if (!value) return false;
    if (const double* d = std::get_if<double>(&*value)) return *d != 0;
    if (isNumber(*value)) return unsignedValue(*value) != 0;
    if (const std::string* text = std::get_if<std::string>(&*value)) return textIsTrue(*text);
    return false;
  }

 private:
  static bool textIsTrue(const std::string& text) {
    size_t i = 0;
    while (i < text.size() && std::isspace(static_cast<unsigned char>(text[i]))) ++i;
    if (i < text.size() && (text[i] == '+' || text[i] == '-')) ++i;
    while (i < text.size() && text[i] == '0') ++i;
    if (i == text.size()) return false;
    char c = text[i];
    return c == 'Y' || c == 'y' || c == 'T' || c == 't' || (c >= '1' && c <= '9');
  }
};

}  // namespace quorvelle
