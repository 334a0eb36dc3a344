#pragma once

#include "platform/application.h"
#include "platform/run_loop.h"

namespace quorvelle {

// The application normally lives in the menu bar. It comes forward with a
// Dock icon whenever it shows a window or dialog of its own, and goes back
// once no titled window is left on screen.
class ActivationPolicyRules {
 public:
  ActivationPolicyRules(Application& application, RunLoop& mainQueue)
      : application_(application), mainQueue_(mainQueue) {}

  // Regular policy first, so that the activation gives a Dock icon and lets
  // the window become key; then activate.
  void bringToFront();

  // Checks on a later turn of the main queue, when a window whose closing
  // triggered the call has left the screen.
  void scheduleActivationPolicyUpdate();

  // Accessory unless a visible titled window remains.
  static void updateActivationPolicy(Application& application);

 private:
  Application& application_;
  RunLoop& mainQueue_;
};

}  // namespace quorvelle
