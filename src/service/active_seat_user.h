#pragma once

#include <sys/types.h>

#include <optional>

namespace quorvelle {

// Who owns the active session of seat0: the one user the engine may serve.
class ActiveSeatUser {
 public:
  virtual ~ActiveSeatUser() = default;

  // nullopt when no session is active (or it cannot be told).
  virtual std::optional<uid_t> activeUser() = 0;
  // Readable when the answer may have changed; -1 when it never changes.
  virtual int changeFd() const = 0;
  // Called once changeFd() was readable, before asking again.
  virtual void changeSeen() = 0;
};

// Serves one user as if they always owned the active session: for running
// the service by hand, and where there is no logind.
class FixedSeatUser : public ActiveSeatUser {
 public:
  explicit FixedSeatUser(uid_t uid) : uid_(uid) {}
  std::optional<uid_t> activeUser() override { return uid_; }
  int changeFd() const override { return -1; }
  void changeSeen() override {}

 private:
  uid_t uid_;
};

}  // namespace quorvelle
