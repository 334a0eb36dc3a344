#pragma once

#include <memory>
#include <string>
#include <vector>

namespace quorvelle {

// Another running process of some application. The handle keeps naming that
// very process: once it has exited, nothing sent through the handle reaches a
// process that later got the same identifier.
class RunningApplication {
 public:
  virtual ~RunningApplication() = default;
  virtual int processIdentifier() const = 0;
  // A polite quit request; the application answers it in its own time.
  virtual void terminate() = 0;
  virtual void forceTerminate() = 0;
  virtual bool isTerminated() const = 0;
  // Whether it was launched before the current process. Copies launched at
  // the same moment still agree on which of them came first.
  virtual bool launchedBeforeCurrentProcess() const = 0;
};

class RunningApplications {
 public:
  virtual ~RunningApplications() = default;
  // The running applications whose bundle has this identifier, in the
  // platform's order; the current process may be among them.
  virtual std::vector<std::shared_ptr<RunningApplication>> runningApplicationsWithBundleIdentifier(
      const std::string& bundleIdentifier) = 0;
  virtual int currentProcessIdentifier() const = 0;
};

}  // namespace quorvelle
