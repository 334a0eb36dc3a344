#include "activation/activation_policy.h"

namespace quorvelle {

void ActivationPolicyRules::bringToFront() {
  application_.setActivationPolicy(ActivationPolicy::Regular);
  application_.activateIgnoringOtherApps();
}

void ActivationPolicyRules::scheduleActivationPolicyUpdate() {
  Application& application = application_;
  mainQueue_.post([&application] { updateActivationPolicy(application); });
}

void ActivationPolicyRules::updateActivationPolicy(Application& application) {
  for (const Window* window : application.windows()) {
    if (window->isVisible() && (window->styleMask() & kWindowTitled)) return;
  }
  application.setActivationPolicy(ActivationPolicy::Accessory);
}

}  // namespace quorvelle
