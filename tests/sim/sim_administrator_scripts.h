#pragma once

#include <string>
#include <vector>

#include "platform/administrator_scripts.h"

namespace quorvelle::sim {

// Records every script and answers with the scripted outcome; nothing runs.
class SimAdministratorScripts : public AdministratorScripts {
 public:
  ScriptOutcome runWithAdministratorPrivileges(const std::string& source) override {
    sources.push_back(source);
    return outcome;
  }
  std::vector<std::string> sources;
  ScriptOutcome outcome{.built = true, .succeeded = true, .errorMessage = std::nullopt};
};

}  // namespace quorvelle::sim
