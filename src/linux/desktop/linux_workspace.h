#pragma once

#include <functional>
#include <map>
#include <string>

#include "platform/bundle.h"
#include "platform/run_loop.h"
#include "platform/workspace.h"

namespace quorvelle {

// Opens URLs with the desktop's opener and starts application bundles as
// programs of their own.
class LinuxWorkspace : public Workspace {
 public:
  LinuxWorkspace(RunLoop& mainQueue, const Bundles& bundles, std::string urlOpener = "xdg-open");

  // A URL the application answers itself instead of the desktop (the privacy
  // settings link, which starts the grant of keyboard access).
  void routeURL(const std::string& url, std::function<bool()> handler);

  bool openURL(const std::string& url) override;
  // Starts the bundle's main executable detached; the completion runs on the
  // main queue.
  void openApplication(const std::string& bundlePath,
                       std::function<void(std::optional<std::string> error)> completion) override;

 private:
  RunLoop& mainQueue_;
  const Bundles& bundles_;
  std::string urlOpener_;
  std::map<std::string, std::function<bool()>> routes_;
};

}  // namespace quorvelle
