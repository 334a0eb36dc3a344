#pragma once

#include <string>

namespace quorvelle {

enum class ReopenOutcome {
  Delivered,   // the running copy took the request
  NotRunning,  // nobody listens: no folder, no socket, or one left behind
  NoAnswer,    // something listens but did not take the request in time
};

// Asks the copy listening in the folder to show its settings, waiting at most
// timeoutSeconds for its answer. *detail says what went wrong otherwise.
ReopenOutcome requestShowSettings(const std::string& folder, double timeoutSeconds,
                                  std::string* detail);

}  // namespace quorvelle
