#pragma once

#include <memory>

#include "platform/updater.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// An updater that counts what it is asked; it never checks anything.
class SimUpdaterController : public UpdaterController {
 public:
  explicit SimUpdaterController(Journal* journal) : journal_(journal) {}
  void startUpdater() override {
    if (journal_) journal_->push_back("updater started");
  }
  void checkForUpdates() override { ++userChecks; }
  bool automaticallyChecksForUpdates() const override { return automatic; }
  void setAutomaticallyChecksForUpdates(bool value) override { automatic = value; }

  int userChecks = 0;
  bool automatic = true;

 private:
  Journal* journal_;
};

class SimUpdater : public Updater {
 public:
  explicit SimUpdater(Journal* journal = nullptr) : journal_(journal) {}
  std::unique_ptr<UpdaterController> createController(UpdaterDelegate&) override {
    auto controller = std::make_unique<SimUpdaterController>(journal_);
    created = controller.get();
    return controller;
  }
  SimUpdaterController* created = nullptr;

 private:
  Journal* journal_;
};

}  // namespace quorvelle::sim
