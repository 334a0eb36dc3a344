#include "linux/session/autostart_login_items.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <optional>
#include <vector>

#include "linux/desktop/desktop_entry.h"
#include "linux/files/file_util.h"
#include "linux/session/launch_marker.h"

namespace quorvelle {
namespace {

std::string lowercase(std::string text) {
  for (char& c : text) {
    if (c >= 'A' && c <= 'Z') c = static_cast<char>(c - 'A' + 'a');
  }
  return text;
}

bool samePath(const std::string& a, const std::string& b) {
  if (a == b) return true;
  char resolvedA[PATH_MAX];
  char resolvedB[PATH_MAX];
  return realpath(a.c_str(), resolvedA) && realpath(b.c_str(), resolvedB) &&
         std::strcmp(resolvedA, resolvedB) == 0;
}

}  // namespace

AutostartLoginItems::AutostartLoginItems(std::string autostartFolder, std::string bundleIdentifier,
                                         std::string executablePath, std::string iconPath)
    : entryPath_(autostartFolder + "/" + bundleIdentifier + ".desktop"),
      executablePath_(std::move(executablePath)),
      iconPath_(std::move(iconPath)) {}

std::string AutostartLoginItems::autostartFolderForCurrentUser() {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string folder = (configHome && configHome[0] == '/') ? configHome : homeDirectory() + "/.config";
  return folder + "/autostart";
}

AutostartLoginItems AutostartLoginItems::forBundle(const Bundles& bundles,
                                                   const std::string& autostartFolder) {
  const std::string contents = bundles.mainBundlePath() + "/Contents";
  std::string executable = bundles.mainInfoString("CFBundleExecutable").value_or("Quorvelle");
  std::string identifier = bundles.mainInfoString("CFBundleIdentifier").value_or("com.quorvelle.Quorvelle");
  return AutostartLoginItems(autostartFolder, identifier, contents + "/MacOS/" + executable,
                             contents + "/Resources/AppIcon.svg");
}

bool AutostartLoginItems::executableExists() const {
  struct stat info;
  return stat(executablePath_.c_str(), &info) == 0 && S_ISREG(info.st_mode) &&
         access(executablePath_.c_str(), X_OK) == 0;
}

LoginItemStatus AutostartLoginItems::status() const {
  if (!executableExists()) return LoginItemStatus::NotFound;
  std::string error;
  std::optional<std::string> text = readFile(entryPath_, &error);
  if (!text) return LoginItemStatus::NotRegistered;
  std::map<std::string, std::string> entry = desktopEntryGroup(*text, "Desktop Entry");
  std::optional<std::vector<std::string>> argv = parseDesktopExec(entry["Exec"]);
  if (!argv || !samePath((*argv)[0], executablePath_)) return LoginItemStatus::NotRegistered;
  if (lowercase(entry["Hidden"]) == "true" || lowercase(entry["X-GNOME-Autostart-enabled"]) == "false")
    return LoginItemStatus::RequiresApproval;
  return LoginItemStatus::Enabled;
}

bool AutostartLoginItems::registerItem(std::string* error) {
  if (!executableExists()) {
    *error = "the application’s executable " + executablePath_ + " cannot be found";
    return false;
  }
  std::string text = "[Desktop Entry]\n"
                     "Type=Application\n"
                     "Name=Quorvelle\n"
                     "Comment=Caps Lock as a hyper key\n"
                     "Exec=" + desktopExecValue({executablePath_, kLoginItemLaunchArgument}) + "\n"
                     // Desktops skip the entry at login once the program is gone.
                     "TryExec=" + desktopStringValue(executablePath_) + "\n"
                     "Icon=" + desktopStringValue(iconPath_) + "\n"
                     "Terminal=false\n"
                     "X-GNOME-Autostart-enabled=true\n";
  std::string why;
  if (!writeFileAtomically(entryPath_, text, &why)) {
    *error = "couldn't write " + why;
    return false;
  }
  return true;
}

bool AutostartLoginItems::unregisterItem(std::string* error) {
  if (unlink(entryPath_.c_str()) != 0 && errno != ENOENT) {
    *error = "couldn't remove " + entryPath_ + ": " + std::strerror(errno);
    return false;
  }
  return true;
}

}  // namespace quorvelle
