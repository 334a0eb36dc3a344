#pragma once

#include <string_view>

namespace quorvelle {

// The system log. Callers pass the whole line, "Quorvelle: " prefix included.
class Log {
 public:
  virtual ~Log() = default;
  virtual void write(std::string_view line) = 0;
};

}  // namespace quorvelle
