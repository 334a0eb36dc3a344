#pragma once

#include <chrono>

#include "platform/wall_clock.h"

namespace quorvelle {

class SystemWallClock : public WallClock {
 public:
  double secondsSince1970() const override {
    using namespace std::chrono;
    return duration<double>(system_clock::now().time_since_epoch()).count();
  }
};

}  // namespace quorvelle
