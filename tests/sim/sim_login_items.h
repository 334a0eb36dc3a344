#pragma once

#include <optional>
#include <string>
#include <vector>

#include "platform/login_items.h"

namespace quorvelle::sim {

// A login item service with scripted failures; a successful call moves the
// status as the real service would.
class SimLoginItems : public LoginItems {
 public:
  LoginItemStatus status() const override { return currentStatus; }
  bool registerItem(std::string* error) override {
    return call("register", registerError, statusAfterRegister, error);
  }
  bool unregisterItem(std::string* error) override {
    return call("unregister", unregisterError, LoginItemStatus::NotRegistered, error);
  }

  LoginItemStatus currentStatus = LoginItemStatus::NotRegistered;
  LoginItemStatus statusAfterRegister = LoginItemStatus::Enabled;
  std::optional<std::string> registerError, unregisterError;
  std::vector<std::string> calls;

 private:
  bool call(const char* name, const std::optional<std::string>& failure, LoginItemStatus after,
            std::string* error) {
    calls.push_back(name);
    if (failure) *error = *failure;
    else currentStatus = after;
    return !failure;
  }
};

}  // namespace quorvelle::sim
