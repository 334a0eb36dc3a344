#pragma once

#include <string>

#include "linux/input_access.h"
#include "platform/accessibility.h"

namespace quorvelle {

// What asks the user to grant input access: in the application, a desktop
// notification offering the grant.
class AccessPrompt {
 public:
  virtual ~AccessPrompt() = default;
  // Asks (again); why names what is missing.
  virtual void show(const std::string& why) = 0;
  // Takes back a request still shown; nothing when there is none.
  virtual void withdraw() = 0;
};

// The trust check on Linux: whether this process may read the keyboards and
// create the virtual keyboard. The prompt is taken back once access is there.
class InputAccessTrust : public AccessibilityTrust {
 public:
  InputAccessTrust(InputAccessPaths paths, AccessPrompt& prompt) : paths_(std::move(paths)), prompt_(prompt) {}

  bool isTrustedPrompting() override;
  bool isTrusted() const override;

 private:
  InputAccessPaths paths_;
  AccessPrompt& prompt_;
};

}  // namespace quorvelle
