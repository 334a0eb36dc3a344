#pragma once

#include <string>
#include <vector>

#include "platform/application.h"

namespace quorvelle::sim {

// The application object without windows: its activation policy, badge and
// quits, and the calls that bring it forward in order.
class SimApplication : public Application {
 public:
  void setActivationPolicy(ActivationPolicy policy) override {
    policy_ = policy;
    calls.push_back(policy == ActivationPolicy::Regular ? "policy regular" : "policy accessory");
  }
  ActivationPolicy activationPolicy() const override { return policy_; }
  void activateIgnoringOtherApps() override { calls.push_back("activate"); }
  std::vector<Window*> windows() const override { return {}; }
  void terminate() override { ++terminations; }
  void setBadgeLabel(const std::string& label) override { badge = label; }
  void addWindowWillCloseObserver(std::function<void(Window*)>) override {}

  std::vector<std::string> calls;
  std::string badge;
  int terminations = 0;

 private:
  ActivationPolicy policy_ = ActivationPolicy::Accessory;
};

}  // namespace quorvelle::sim
