#pragma once

#include "platform/log.h"

namespace quorvelle {

// Each line to standard error and to syslog (the journal).
class SystemLog : public Log {
 public:
  SystemLog();
  void write(std::string_view line) override;
};

}  // namespace quorvelle
