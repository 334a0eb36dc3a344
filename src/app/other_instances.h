#pragma once

#include <functional>
#include <memory>
#include <vector>

#include "platform/bundle.h"
#include "platform/run_loop.h"
#include "platform/running_applications.h"

namespace quorvelle {

// The newest launch wins: older running copies of the application are asked
// to quit, and quit by force when they have not within the deadline; a copy
// that finds a newer one running gives way to it. Of copies started at the
// same moment, exactly one goes on: the newest sees every older one, or that
// one saw it.
class OtherInstances {
 public:
  static constexpr double kPollInterval = 0.1;
  static constexpr double kDeadlineSeconds = 5.0;

  OtherInstances(RunningApplications& running, const Bundles& bundles, RunLoop& runLoop)
      : running_(running), bundles_(bundles), runLoop_(runLoop) {}

  // Runs the completion at once when no other copy runs; otherwise asks them
  // to quit and runs it from a timer once they are gone or have been quit by
  // force. When a newer copy runs, nothing is asked of anyone and
  // givesWayTo runs at once with its process identifier instead: this copy
  // is to quit. Both hold the caller weakly and do nothing once the caller
  // is gone. A bundle without an identifier has no other copies.
  void terminateOtherInstances(std::function<void()> completion,
                               std::function<void(int newerProcess)> givesWayTo);

  // What one tick of the wait looks at. The timer holds it; nothing else does.
  struct Wait {
    std::vector<std::shared_ptr<RunningApplication>> others;
    double deadline = 0;
    std::function<void()> completion;
  };

  // Ends the wait when every copy has quit, or forces those left once the
  // deadline has passed; otherwise waits for the next tick.
  static void otherInstancesTick(Timer& timer, const Wait& wait, double now);

 private:
  RunningApplications& running_;
  const Bundles& bundles_;
  RunLoop& runLoop_;
};

}  // namespace quorvelle
