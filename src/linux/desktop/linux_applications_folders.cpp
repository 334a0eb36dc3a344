#include "linux/desktop/linux_applications_folders.h"

namespace quorvelle {

ApplicationsFolders linuxApplicationsFolders(const std::string& homeDirectory) {
  std::string home = homeDirectory;
  while (home.size() > 1 && home.back() == '/') home.pop_back();
  const std::string user = (home == "/" ? "" : home) + "/Applications";
  return ApplicationsFolders{"/opt", user, user, std::nullopt};
}

}  // namespace quorvelle
