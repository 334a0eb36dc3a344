#pragma once

#include <string>

namespace quorvelle {

// The login item service's record of the running application.
enum class LoginItemStatus {
  NotRegistered = 0,
  Enabled = 1,
  // Registered, but switched off by the user in the desktop's own settings.
  RequiresApproval = 2,
  // The application's own executable cannot be found.
  NotFound = 3,
};

// Starts the running application when the user logs in.
class LoginItems {
 public:
  virtual ~LoginItems() = default;
  virtual LoginItemStatus status() const = 0;
  // Each fails with a description of the error in *error.
  virtual bool registerItem(std::string* error) = 0;
  virtual bool unregisterItem(std::string* error) = 0;
};

}  // namespace quorvelle
