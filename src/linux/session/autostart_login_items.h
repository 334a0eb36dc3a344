#pragma once

#include <string>

#include "platform/bundle.h"
#include "platform/login_items.h"

namespace quorvelle {

// Launch at login through an XDG autostart entry, <folder>/<bundle id>.desktop,
// whose Exec runs this bundle's executable with the login launch marker.
// The entry is this application's when its program is this executable; the
// user switches it off in the desktop's settings with Hidden=true or
// X-GNOME-Autostart-enabled=false.
class AutostartLoginItems : public LoginItems {
 public:
  AutostartLoginItems(std::string autostartFolder, std::string bundleIdentifier, std::string executablePath,
                      std::string iconPath);

  // $XDG_CONFIG_HOME/autostart, with ~/.config when the variable is unset.
  static std::string autostartFolderForCurrentUser();
  // The entry for the running bundle: its identifier, main executable and icon.
  static AutostartLoginItems forBundle(const Bundles& bundles, const std::string& autostartFolder);

  LoginItemStatus status() const override;
  // Writes the entry atomically; fails when the executable cannot be found.
  bool registerItem(std::string* error) override;
  // Removes the entry; nothing there is success.
  bool unregisterItem(std::string* error) override;

  const std::string& entryPath() const { return entryPath_; }

 private:
  bool executableExists() const;

  std::string entryPath_;
  std::string executablePath_;
  std::string iconPath_;
};

}  // namespace quorvelle
