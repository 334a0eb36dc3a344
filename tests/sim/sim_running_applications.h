#pragma once

#include <memory>
#include <string>
#include <utility>
#include <vector>

#include "platform/running_applications.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// Running copies by bundle identifier; the current process is 100. Each quits
// when asked or ignores polite requests, and was launched before the current
// process unless made newer. Asking and forcing are journalled as
// "terminate <pid>", "force <pid>".
class SimRunningApplications : public RunningApplications {
 public:
  struct Copy : RunningApplication {
    Copy(int pid, bool quitsWhenAsked, bool newer, Journal* journal)
        : pid(pid), quitsWhenAsked(quitsWhenAsked), newer(newer), journal(journal) {}
    int processIdentifier() const override { return pid; }
    void terminate() override { record("terminate ", quitsWhenAsked); }
    void forceTerminate() override { record("force ", true); }
    bool isTerminated() const override { return terminated; }
    bool launchedBeforeCurrentProcess() const override { return !newer; }
    void record(const std::string& what, bool quits) {
      if (journal) journal->push_back(what + std::to_string(pid));
      terminated = terminated || quits;
    }
    int pid;
    bool quitsWhenAsked, newer;
    Journal* journal;
    bool terminated = false;
  };

  explicit SimRunningApplications(Journal* journal) : journal_(journal) {}

  void add(int pid, const std::string& bundleIdentifier, bool quitsWhenAsked, bool newer = false) {
    copies_.emplace_back(bundleIdentifier, std::make_shared<Copy>(pid, quitsWhenAsked, newer, journal_));
  }
  std::vector<std::shared_ptr<RunningApplication>> runningApplicationsWithBundleIdentifier(
      const std::string& bundleIdentifier) override {
    std::vector<std::shared_ptr<RunningApplication>> found;
    for (const auto& [identifier, copy] : copies_) {
      if (identifier == bundleIdentifier && !copy->terminated) found.push_back(copy);
    }
    return found;
  }
  int currentProcessIdentifier() const override { return 100; }

 private:
  Journal* journal_;
  std::vector<std::pair<std::string, std::shared_ptr<Copy>>> copies_;
};

}  // namespace quorvelle::sim
