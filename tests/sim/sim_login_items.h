#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/login_items.h"

namespace quorvelle::sim {

// A login item service whose answers the test sets. A successful call moves
// the status as the real service would (register leads to statusAfterRegister).
class SimLoginItems : public LoginItems {
 public:
  LoginItemStatus status() const override { return currentStatus; }
  bool registerItem(std::string* error) override {
    calls.push_back("register");
    if (registerError) {
      *error = *registerError;
      return false;
    }
    currentStatus = statusAfterRegister;
    return true;
  }
  bool unregisterItem(std::string* error) override {
    calls.push_back("unregister");
    if (unregisterError) {
      *error = *unregisterError;
      return false;
    }
    currentStatus = LoginItemStatus::NotRegistered;
    return true;
  }

  LoginItemStatus currentStatus = LoginItemStatus::NotRegistered;
  LoginItemStatus statusAfterRegister = LoginItemStatus::Enabled;
  std::optional<std::string> registerError;
  std::optional<std::string> unregisterError;
  std::vector<std::string> calls;
};

}  // namespace quorvelle::sim
