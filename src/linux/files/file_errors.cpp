#include "linux/files/file_errors.h"

#include <cstring>

namespace quorvelle {

std::string fileErrorDescription(const std::string& action, const std::string& path, int errorNumber) {
  return fileErrorDescription(action, path, std::string(std::strerror(errorNumber)));
}

std::string fileErrorDescription(const std::string& action, const std::string& path,
                                 const std::string& reason) {
  return "Couldn’t " + action + " “" + path + "”: " + reason + ".";
}

}  // namespace quorvelle
