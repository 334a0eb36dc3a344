#include "linux/session/reopen_socket.h"

#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

namespace quorvelle::reopen {
namespace {

// lstat, so that a link planted in a shared folder like /tmp is refused.
bool checkFolder(const std::string& folder, bool tighten, std::string* error) {
  struct stat info;
  if (lstat(folder.c_str(), &info) != 0) {
    *error = folder + ": " + std::strerror(errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode)) {
    *error = folder + " is not a folder";
    return false;
  }
  if (info.st_uid != getuid()) {
    *error = folder + " belongs to another user";
    return false;
  }
  if ((info.st_mode & 077) != 0) {
    if (!tighten || chmod(folder.c_str(), 0700) != 0) {
      *error = folder + " is open to other users";
      return false;
    }
  }
  return true;
}

}  // namespace

std::string socketFolder() {
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') return std::string(runtime) + "/quorvelle";
  return "/tmp/quorvelle-" + std::to_string(getuid());
}

std::string socketPath(const std::string& folder) { return folder + "/reopen.sock"; }

bool preparePrivateFolder(const std::string& folder, std::string* error) {
  if (mkdir(folder.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = folder + ": " + std::strerror(errno);
    return false;
  }
  return checkFolder(folder, true, error);
}

bool isPrivateFolder(const std::string& folder, std::string* error) {
  return checkFolder(folder, false, error);
}

}  // namespace quorvelle::reopen
