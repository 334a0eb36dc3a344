#pragma once

#include <memory>

namespace quorvelle {

// What the updater tells its owner.
class UpdaterDelegate {
 public:
  virtual ~UpdaterDelegate() = default;
  virtual void updaterWillRelaunchApplication() = 0;
  virtual bool supportsGentleScheduledUpdateReminders() = 0;
  // The updater is about to show an update; userInitiated when the user asked.
  virtual void standardUserDriverWillHandleShowingUpdate(bool userInitiated) = 0;
  virtual void standardUserDriverDidReceiveUserAttentionForUpdate() = 0;
  virtual void standardUserDriverWillFinishUpdateSession() = 0;
};

// The update framework's standard controller.
class UpdaterController {
 public:
  virtual ~UpdaterController() = default;
  // Starts scheduled checks according to the updater's own settings.
  virtual void startUpdater() = 0;
  // A user-initiated check, with the updater's own windows.
  virtual void checkForUpdates() = 0;
  virtual bool automaticallyChecksForUpdates() const = 0;
  virtual void setAutomaticallyChecksForUpdates(bool value) = 0;
};

class Updater {
 public:
  virtual ~Updater() = default;
  // A controller whose updater is not started yet and which calls back the
  // delegate; the delegate outlives it.
  virtual std::unique_ptr<UpdaterController> createController(UpdaterDelegate& delegate) = 0;
};

}  // namespace quorvelle
