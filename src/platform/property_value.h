#pragma once

#include <cstdint>
#include <string>
#include <variant>

namespace quorvelle {

// A value kept in a defaults store or read from a bundle's information list.
// std::monostate stands for a value of some other type (a list, a dictionary,
// a date): present, but neither a number nor text.
using PropertyValue =
    std::variant<std::monostate, bool, std::int64_t, std::uint64_t, double, std::string>;

inline bool isNumber(const PropertyValue& value) {
  return std::holds_alternative<bool>(value) || std::holds_alternative<std::int64_t>(value) ||
         std::holds_alternative<std::uint64_t>(value) || std::holds_alternative<double>(value);
}

// A number's value as an unsigned 64-bit integer, the way a stored number
// answers for one: signed values wrap, reals are truncated. 0 for anything
// that is not a number.
inline std::uint64_t unsignedValue(const PropertyValue& value) {
  if (const bool* b = std::get_if<bool>(&value)) return *b ? 1 : 0;
  if (const std::int64_t* i = std::get_if<std::int64_t>(&value)) return static_cast<std::uint64_t>(*i);
  if (const std::uint64_t* u = std::get_if<std::uint64_t>(&value)) return *u;
  if (const double* d = std::get_if<double>(&value)) {
    // Both bounds are powers of two, exact as doubles: -2^63 is the least
    // signed 64-bit integer, 2^64 one past the greatest unsigned one.
    if (!(*d >= -9223372036854775808.0 && *d < 18446744073709551616.0)) return 0;  // NaN or out of range
    return *d < 0 ? static_cast<std::uint64_t>(static_cast<std::int64_t>(*d))
                  : static_cast<std::uint64_t>(*d);
  }
  return 0;
}

}  // namespace quorvelle
