#pragma once

#include <memory>

#include "activation/activation_policy.h"
#include "config/published.h"
#include "platform/defaults_store.h"
#include "platform/updater.h"

namespace quorvelle {

// The thin layer between the application and the updater: creates the
// updater's controller on first use, remembers across one relaunch that the
// last run ended in an update, badges the launcher icon while a background
// update waits, and exposes the automatic-check setting.
class UpdateController : public UpdaterDelegate {
 public:
  // Reads and removes the relaunch marker; creates no updater controller.
  UpdateController(DefaultsStore& defaults, Updater& updater, Application& application,
                   ActivationPolicyRules& activation);

  bool relaunchedAfterUpdate() const { return relaunchedAfterUpdate_; }

  // The updater's controller, created on first access.
  UpdaterController& controller();

  bool automaticallyChecksForUpdates();
  // Signals the change first, then writes through to the updater.
  void setAutomaticallyChecksForUpdates(bool value);
  WillChangeSignal& objectWillChange() { return objectWillChange_; }

  // Brings the application forward, then starts a user-initiated check.
  void checkForUpdatesNow();

  // UpdaterDelegate
  void updaterWillRelaunchApplication() override;
  bool supportsGentleScheduledUpdateReminders() override { return true; }
  void standardUserDriverWillHandleShowingUpdate(bool userInitiated) override;
  void standardUserDriverDidReceiveUserAttentionForUpdate() override;
  void standardUserDriverWillFinishUpdateSession() override;

  // The badge shown while a background update waits for the user.
  static constexpr char kUpdateBadge[] = "1";

 private:
  DefaultsStore& defaults_;
  Updater& updater_;
  Application& application_;
  ActivationPolicyRules& activation_;
  WillChangeSignal objectWillChange_;
  bool relaunchedAfterUpdate_ = false;
  std::unique_ptr<UpdaterController> controller_;
};

}  // namespace quorvelle
