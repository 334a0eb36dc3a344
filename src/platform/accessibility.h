#pragma once

namespace quorvelle {

// Whether this process may filter the session's keyboard events.
class AccessibilityTrust {
 public:
  virtual ~AccessibilityTrust() = default;
  // Answers at once; when not trusted, asks the system to show its prompt that
  // leads the user to grant access.
  virtual bool isTrustedPrompting() = 0;
  // Answers without any user interface.
  virtual bool isTrusted() const = 0;
};

}  // namespace quorvelle
