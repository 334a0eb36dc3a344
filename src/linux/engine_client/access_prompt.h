#pragma once

#include <string>

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

}  // namespace quorvelle
