#pragma once

#include <string>

#include "platform/bundle.h"

namespace quorvelle {

// Application bundles on disk: <name>.app/Contents/Info.plist beside the
// executables in Contents/MacOS and Contents/Helpers.
class PlistBundles : public Bundles {
 public:
  explicit PlistBundles(std::string mainBundlePath) : mainBundlePath_(std::move(mainBundlePath)) {}

  std::string mainBundlePath() const override { return mainBundlePath_; }
  std::optional<InfoDictionary> infoDictionary(const std::string& bundlePath) const override;

  // The bundle that holds an executable at <bundle>/Contents/<folder>/<name>;
  // empty when the path has no such shape.
  static std::string bundlePathOfExecutable(const std::string& executablePath);

  // The bundle's main executable, Contents/MacOS/<CFBundleExecutable>; the
  // other executables under Contents are its helpers.
  static std::optional<std::string> mainExecutable(const Bundles& bundles, const std::string& bundlePath,
                                                   std::string* error);

  // The running program's own path (from /proc/self/exe).
  static std::string currentExecutablePath();

 private:
  std::string mainBundlePath_;
};

}  // namespace quorvelle
