#pragma once

#include "platform/wall_clock.h"
#include "sim/sim_run_loop.h"

namespace quorvelle::sim {

// Calendar time that moves with the simulated run loop; `offset` sets the
// clock forward or back.
class SimWallClock : public WallClock {
 public:
  explicit SimWallClock(const SimRunLoop& loop, double start = 1.7e9) : loop_(loop), start_(start) {}
  double secondsSince1970() const override { return start_ + loop_.now() + offset; }
  double offset = 0;

 private:
  const SimRunLoop& loop_;
  double start_;
};

}  // namespace quorvelle::sim
