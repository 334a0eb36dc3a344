#include "update/update_controller.h"

#include "config/preference_keys.h"

namespace quorvelle {

UpdateController::UpdateController(DefaultsStore& defaults, Updater& updater, Application& application,
                                   ActivationPolicyRules& activation)
    : defaults_(defaults), updater_(updater), application_(application), activation_(activation) {
  relaunchedAfterUpdate_ = defaults_.boolForKey(prefs::kRelaunchedForUpdate);
  // The marker lives for exactly one relaunch.
  defaults_.remove(prefs::kRelaunchedForUpdate);
}

UpdaterController& UpdateController::controller() {
  if (!controller_) controller_ = updater_.createController(*this);
  return *controller_;
}

bool UpdateController::automaticallyChecksForUpdates() { return controller().automaticallyChecksForUpdates(); }

void UpdateController::setAutomaticallyChecksForUpdates(bool value) {
  objectWillChange_.send();
  controller().setAutomaticallyChecksForUpdates(value);
}

void UpdateController::checkForUpdatesNow() {
  activation_.bringToFront();
  controller().checkForUpdates();
}

void UpdateController::updaterWillRelaunchApplication() {
  defaults_.setBool(prefs::kRelaunchedForUpdate, true);
}

void UpdateController::standardUserDriverWillHandleShowingUpdate(bool userInitiated) {
  application_.setActivationPolicy(ActivationPolicy::Regular);
  if (!userInitiated) application_.setBadgeLabel(kUpdateBadge);
}

void UpdateController::standardUserDriverDidReceiveUserAttentionForUpdate() {
  application_.setBadgeLabel("");
}

void UpdateController::standardUserDriverWillFinishUpdateSession() {
  application_.setBadgeLabel("");
  activation_.scheduleActivationPolicyUpdate();
}

}  // namespace quorvelle
