#include "linux/desktop/linux_workspace.h"

#include "linux/files/plist_bundles.h"
#include "linux/process/detached_spawn.h"

namespace quorvelle {

LinuxWorkspace::LinuxWorkspace(RunLoop& mainQueue, const Bundles& bundles, std::string urlOpener)
    : mainQueue_(mainQueue), bundles_(bundles), urlOpener_(std::move(urlOpener)) {}

void LinuxWorkspace::routeURL(const std::string& url, std::function<bool()> handler) {
  routes_[url] = std::move(handler);
}

bool LinuxWorkspace::openURL(const std::string& url) {
  auto route = routes_.find(url);
  if (route != routes_.end()) return route->second();
  // The opener would read a leading dash as an option of its own.
  if (url.empty() || url[0] == '-') return false;
  std::string opener = findExecutable(urlOpener_);
  if (opener.empty()) return false;
  std::string error;
  return spawnDetached(opener, {url}, &error);
}

void LinuxWorkspace::openApplication(
    const std::string& bundlePath, std::function<void(std::optional<std::string> error)> completion) {
  std::string error;
  std::optional<std::string> executable = PlistBundles::mainExecutable(bundles_, bundlePath, &error);
  std::optional<std::string> outcome;
  if (!executable || !spawnDetached(*executable, {}, &error)) outcome = error;
  mainQueue_.post([completion = std::move(completion), outcome] { completion(outcome); });
}

}  // namespace quorvelle
