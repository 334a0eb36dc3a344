#pragma once

#include <string>

#include "engine_protocol/protocol.h"
#include "linux/engine_client/access_prompt.h"
#include "platform/accessibility.h"

namespace quorvelle {

// The trust check on Linux: whether the engine service serves this process,
// asked with Hello (Yes, or Busy when this process already holds the engine).
// Only a missing service is something the user can grant, so only then is the
// prompt shown; it is taken back otherwise.
class EngineTrust : public AccessibilityTrust {
 public:
  explicit EngineTrust(AccessPrompt& prompt, std::string socketPath = engine_protocol::kSocketPath)
      : prompt_(prompt), socketPath_(std::move(socketPath)) {}

  bool isTrustedPrompting() override;
  bool isTrusted() const override;

  // Bounds the time the interface waits for the answer.
  static constexpr double kAnswerSeconds = 1.0;

 private:
  enum class Answer { Served, Missing, Refused };
  Answer ask(std::string* why) const;

  AccessPrompt& prompt_;
  const std::string socketPath_;
};

}  // namespace quorvelle
