#pragma once

namespace quorvelle {

// Calendar time, for what must be remembered across runs (the run loop's
// clock is monotonic and starts anew with each run).
class WallClock {
 public:
  virtual ~WallClock() = default;
  virtual double secondsSince1970() const = 0;
};

}  // namespace quorvelle
