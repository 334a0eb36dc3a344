#pragma once

#include <string>
#include <vector>

namespace quorvelle {

// Where the command installer puts its link to the bundle's helper.
struct CommandLinePaths {
  // Tried in order; the first the application may write to gets the link.
  std::vector<std::string> linkDirectories;
  // Made with administrator rights when no directory above is writable.
  std::string privilegedLinkPath;
};

}  // namespace quorvelle
