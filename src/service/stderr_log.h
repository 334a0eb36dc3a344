#pragma once

#include <cstdio>

#include "platform/log.h"

namespace quorvelle {

// Standard error alone: under systemd it is the journal, once.
class StderrLog : public Log {
 public:
  void write(std::string_view line) override {
    std::fprintf(stderr, "%.*s\n", static_cast<int>(line.size()), line.data());
    std::fflush(stderr);
  }
};

}  // namespace quorvelle
