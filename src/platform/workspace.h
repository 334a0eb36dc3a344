#pragma once

#include <functional>
#include <optional>
#include <string>

namespace quorvelle {

// The privacy settings link that leads the user to grant the access the
// keyboard engine needs.
inline constexpr char kAccessibilitySettingsURL[] =
    "x-apple.systempreferences:com.apple.preference.security?Privacy_Accessibility";

class Workspace {
 public:
  virtual ~Workspace() = default;
  // Opens the URL with whatever handles it; false when nothing could.
  virtual bool openURL(const std::string& url) = 0;
  // Starts the application bundle at the path. The completion runs later on
  // the main thread with an error description, or nullopt on success.
  virtual void openApplication(const std::string& bundlePath,
                               std::function<void(std::optional<std::string> error)> completion) = 0;
};

}  // namespace quorvelle
