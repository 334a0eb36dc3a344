#pragma once

#include <memory>
#include <string>

#include "service/active_seat_user.h"

struct sd_login_monitor;

namespace quorvelle {

// seat0's active session as logind records it (sd-login reads its files
// under /run; no bus connection), followed through an sd_login_monitor.
class LogindSeatUser : public ActiveSeatUser {
 public:
  // nullptr when the monitor cannot be made; the reason in why.
  static std::unique_ptr<LogindSeatUser> create(std::string* why);
  ~LogindSeatUser() override;

  std::optional<uid_t> activeUser() override;
  int changeFd() const override;
  void changeSeen() override;

 private:
  explicit LogindSeatUser(sd_login_monitor* monitor) : monitor_(monitor) {}
  sd_login_monitor* monitor_;
};

}  // namespace quorvelle
