#pragma once

#include <memory>
#include <string>
#include <vector>

#include "platform/running_applications.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// A running copy that quits when asked, or ignores polite requests; launched
// before the current process unless made newer.
class SimRunningApplication : public RunningApplication {
 public:
  SimRunningApplication(int pid, bool quitsWhenAsked, bool newer, Journal* journal)
      : pid_(pid), quitsWhenAsked_(quitsWhenAsked), newer_(newer), journal_(journal) {}

  int processIdentifier() const override { return pid_; }
  void terminate() override {
    record("terminate");
    if (quitsWhenAsked_) terminated = true;
  }
  void forceTerminate() override {
    record("force");
    terminated = true;
  }
  bool isTerminated() const override { return terminated; }
  bool launchedBeforeCurrentProcess() const override { return !newer_; }

  bool terminated = false;

 private:
  void record(const char* what) {
    if (journal_) journal_->add(std::string(what) + " " + std::to_string(pid_));
  }
  int pid_;
  bool quitsWhenAsked_;
  bool newer_;
  Journal* journal_;
};

class SimRunningApplications : public RunningApplications {
 public:
  explicit SimRunningApplications(Journal* journal = nullptr) : journal_(journal) {}

  std::shared_ptr<SimRunningApplication> add(int pid, const std::string& bundleIdentifier,
                                             bool quitsWhenAsked, bool newer = false) {
    auto application = std::make_shared<SimRunningApplication>(pid, quitsWhenAsked, newer, journal_);
    entries_.push_back({bundleIdentifier, application});
    return application;
  }

  std::vector<std::shared_ptr<RunningApplication>> runningApplicationsWithBundleIdentifier(
      const std::string& bundleIdentifier) override {
    ++listings;
    std::vector<std::shared_ptr<RunningApplication>> found;
    for (const auto& entry : entries_) {
      if (entry.bundleIdentifier == bundleIdentifier && !entry.application->terminated) {
        found.push_back(entry.application);
      }
    }
    return found;
  }
  int currentProcessIdentifier() const override { return currentPid; }

  int currentPid = 100;
  int listings = 0;

 private:
  struct Entry {
    std::string bundleIdentifier;
    std::shared_ptr<SimRunningApplication> application;
  };
  Journal* journal_;
  std::vector<Entry> entries_;
};

}  // namespace quorvelle::sim
