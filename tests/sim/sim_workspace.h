#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

#include "platform/workspace.h"

namespace quorvelle::sim {

// Records what it is asked to open; opening an application completes when
// the test says so.
class SimWorkspace : public Workspace {
 public:
  bool openURL(const std::string& url) override {
    openedURLs.push_back(url);
    return true;
  }
  void openApplication(const std::string& bundlePath,
                       std::function<void(std::optional<std::string>)> completion) override {
    openedApplications.push_back(bundlePath);
    pendingCompletions.push_back(std::move(completion));
  }
  // Finishes the oldest open with the given outcome.
  void completeOpen(std::optional<std::string> error = std::nullopt) {
    auto completion = std::move(pendingCompletions.front());
    pendingCompletions.erase(pendingCompletions.begin());
    completion(std::move(error));
  }
  std::vector<std::string> openedURLs;
  std::vector<std::string> openedApplications;
  std::vector<std::function<void(std::optional<std::string>)>> pendingCompletions;
};

}  // namespace quorvelle::sim
