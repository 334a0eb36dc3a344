#pragma once

#include <string>

namespace quorvelle {

enum class ReopenOutcome {
  Delivered,   // the running copy took the request
  NotRunning,  // nobody listens: no folder, no socket, or one left behind
  NoAnswer,    // a copy listens but is hung: stopped, or silent all along
};

// Asks the copy listening in the folder to show its settings. A listener
// whose process is stopped counts as hung once answerSeconds have passed; a
// live one may only be busy, or crowded by other clients, and is asked again
// until patienceSeconds have passed. *detail says what went wrong otherwise.
ReopenOutcome requestShowSettings(const std::string& folder, double answerSeconds,
                                  double patienceSeconds, std::string* detail);

}  // namespace quorvelle
