#pragma once

#include "platform/accessibility.h"
#include "sim/journal.h"

namespace quorvelle::sim {

// Access granted or not as the test sets it; counts the prompts.
class SimAccessibilityTrust : public AccessibilityTrust {
 public:
  explicit SimAccessibilityTrust(Journal* journal = nullptr) : journal_(journal) {}
  bool isTrustedPrompting() override {
    if (journal_) journal_->push_back(trusted ? "trust checked" : "trust prompt");
    if (!trusted) ++prompts;
    return trusted;
  }
  bool isTrusted() const override { return trusted; }
  bool trusted = false;
  int prompts = 0;

 private:
  Journal* journal_;
};

}  // namespace quorvelle::sim
