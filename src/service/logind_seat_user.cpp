#include "service/logind_seat_user.h"

#include <systemd/sd-login.h>

#include <cstdlib>
#include <cstring>

namespace quorvelle {

std::unique_ptr<LogindSeatUser> LogindSeatUser::create(std::string* why) {
  sd_login_monitor* monitor = nullptr;
  // logind rewrites a seat's record whenever its active session changes.
  // (Not every category: watching machines fails without systemd-machined.)
  const int result = sd_login_monitor_new("seat", &monitor);
  if (result < 0) {
    *why = std::string("cannot follow the login sessions: ") + std::strerror(-result);
    return nullptr;
  }
  return std::unique_ptr<LogindSeatUser>(new LogindSeatUser(monitor));
}

LogindSeatUser::~LogindSeatUser() { sd_login_monitor_unref(monitor_); }

std::optional<uid_t> LogindSeatUser::activeUser() {
  char* session = nullptr;
  uid_t uid = 0;
  const int result = sd_seat_get_active("seat0", &session, &uid);
  std::free(session);
  if (result < 0) return std::nullopt;
  return uid;
}

int LogindSeatUser::changeFd() const { return sd_login_monitor_get_fd(monitor_); }

void LogindSeatUser::changeSeen() { sd_login_monitor_flush(monitor_); }

}  // namespace quorvelle
