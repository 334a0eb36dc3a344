#pragma once

#include "platform/running_applications.h"

namespace quorvelle {

// This user's other processes that run the main executable of a bundle with
// the identifier, found in /proc, ordered by creation time. Each is held by a
// pidfd, so a signal sent through it can never reach a process that reused
// the identifier after ours exited.
class ProcRunningApplications : public RunningApplications {
 public:
  std::vector<std::shared_ptr<RunningApplication>> runningApplicationsWithBundleIdentifier(
      const std::string& bundleIdentifier) override;
  int currentProcessIdentifier() const override;
};

}  // namespace quorvelle
