#include "update/automatic_checks.h"

#include <algorithm>
#include <cmath>

namespace quorvelle {

AutomaticChecks::AutomaticChecks(DefaultsStore& store, RunLoop& runLoop, WallClock& clock,
                                 std::function<void()> check)
    : store_(store), runLoop_(runLoop), clock_(clock), check_(std::move(check)) {}

AutomaticChecks::~AutomaticChecks() {
  if (timer_) timer_->invalidate();
}

bool AutomaticChecks::enabled() const {
  std::optional<PropertyValue> value = store_.object(kEnabledKey);
  return !value || store_.boolForKey(kEnabledKey);
}

void AutomaticChecks::setEnabled(bool enabled) {
  store_.setBool(kEnabledKey, enabled);
  schedule();
}

void AutomaticChecks::start() {
  started_ = true;
  if (!lastCheckTime()) {
    recordCheck();
    return;
  }
  schedule();
}

void AutomaticChecks::recordCheck() {
  store_.setUnsigned(kLastCheckTimeKey, static_cast<std::uint64_t>(std::max(0.0, std::floor(clock_.secondsSince1970()))));
  schedule();
}

std::optional<double> AutomaticChecks::lastCheckTime() const {
  std::optional<PropertyValue> value = store_.object(kLastCheckTimeKey);
  if (!value || !isNumber(*value)) return std::nullopt;
  return static_cast<double>(unsignedValue(*value));
}

void AutomaticChecks::schedule() {
  if (timer_) timer_->invalidate();
  timer_.reset();
  if (!started_ || !enabled()) return;
  const double now = clock_.secondsSince1970();
  double last = lastCheckTime().value_or(now);
  if (last > now) {
    // The clock was set back: count the day from now, not from then.
    recordCheck();
    return;
  }
  const double wait = std::clamp(last + kInterval - now, 0.0, kLongestWait);
  timer_ = runLoop_.scheduleTimer(wait, false, RunLoopMode::Default, [this](Timer&) { look(); });
}

void AutomaticChecks::look() {
  std::optional<double> last = lastCheckTime();
  if ((!last || clock_.secondsSince1970() >= *last + kInterval) && check_) {
    check_();
  } else {
    schedule();
  }
}

}  // namespace quorvelle
