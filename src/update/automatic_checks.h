#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>

#include "platform/defaults_store.h"
#include "platform/run_loop.h"
#include "platform/wall_clock.h"

namespace quorvelle {

// The updater's daily background check: whether it is on and when the last
// check was, both kept in the updater's own defaults store (never among the
// application's preferences), and a timer that asks for the next check.
class AutomaticChecks {
 public:
  static constexpr char kEnabledKey[] = "SUEnableAutomaticChecks";
  static constexpr char kLastCheckTimeKey[] = "SULastCheckTime";  // whole seconds since 1970
  static constexpr double kInterval = 24 * 60 * 60;
  // The timer never waits longer than this before looking at the calendar
  // again: a suspended machine's timers stand still, and clocks get set.
  static constexpr double kLongestWait = 60 * 60;

  // `check` runs whenever a background check is due; it must call
  // recordCheck() (or the check is asked for again at the next look).
  AutomaticChecks(DefaultsStore& store, RunLoop& runLoop, WallClock& clock, std::function<void()> check);
  ~AutomaticChecks();
  AutomaticChecks(const AutomaticChecks&) = delete;
  AutomaticChecks& operator=(const AutomaticChecks&) = delete;

  // On unless the user switched it off.
  bool enabled() const;
  void setEnabled(bool enabled);

  // Starts the schedule. A first run counts as a check, so that a fresh copy
  // does not go to the network at once: the first check is a day later.
  void start();

  // Remembers now as the last check and plans the next one a day later.
  void recordCheck();

  std::optional<double> lastCheckTime() const;

 private:
  void schedule();
  void look();

  DefaultsStore& store_;
  RunLoop& runLoop_;
  WallClock& clock_;
  std::function<void()> check_;
  std::shared_ptr<Timer> timer_;
  bool started_ = false;
};

// The updater's defaults domain beside the application's own.
inline std::string updaterDefaultsDomain(const std::string& bundleIdentifier) { return bundleIdentifier + ".Updater"; }

}  // namespace quorvelle
