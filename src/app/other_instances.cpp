#include "app/other_instances.h"

#include <optional>
#include <string>

namespace quorvelle {

void OtherInstances::terminateOtherInstances(std::function<void()> completion,
                                             std::function<void(int newerProcess)> givesWayTo) {
  const int self = running_.currentProcessIdentifier();
  std::optional<std::string> identifier = bundles_.mainInfoString("CFBundleIdentifier");

  auto wait = std::make_shared<Wait>();
  if (identifier) {
    for (auto& application : running_.runningApplicationsWithBundleIdentifier(*identifier)) {
      if (application->processIdentifier() == self) continue;
      // A newer copy may have looked before this one could be seen: then
      // nobody would end this one, so it ends itself.
      if (!application->launchedBeforeCurrentProcess()) {
        givesWayTo(application->processIdentifier());
        return;
      }
      wait->others.push_back(application);
    }
  }
  if (wait->others.empty()) {
    completion();
    return;
  }

  for (auto& application : wait->others) application->terminate();
  wait->deadline = runLoop_.now() + kDeadlineSeconds;
  wait->completion = std::move(completion);
  RunLoop& runLoop = runLoop_;
  runLoop_.scheduleTimer(kPollInterval, true, RunLoopMode::Default,
                         [wait, &runLoop](Timer& timer) {
                           otherInstancesTick(timer, *wait, runLoop.now());
                         });
}

void OtherInstances::otherInstancesTick(Timer& timer, const Wait& wait, double now) {
  std::vector<RunningApplication*> remaining;
  for (const auto& application : wait.others) {
    if (!application->isTerminated()) remaining.push_back(application.get());
  }
  if (remaining.empty()) {
    timer.invalidate();
    wait.completion();
    return;
  }
  if (now > wait.deadline) {
    for (RunningApplication* application : remaining) application->forceTerminate();
    timer.invalidate();
    wait.completion();
  }
}

}  // namespace quorvelle
