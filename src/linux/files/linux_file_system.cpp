#include "linux/files/linux_file_system.h"

#include <fcntl.h>
#include <stdio.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <filesystem>

#include "linux/files/file_errors.h"
#include "linux/files/file_trash.h"
#include "linux/files/file_util.h"

namespace quorvelle {
namespace {

std::string withoutTrailingSlash(std::string path) {
  while (path.size() > 1 && path.back() == '/') path.pop_back();
  return path;
}

bool isSearchableWritableDirectory(const std::string& path) {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISDIR(info.st_mode) && access(path.c_str(), W_OK | X_OK) == 0;
}

}  // namespace

LinuxFileSystem::Options LinuxFileSystem::optionsForCurrentUser() {
  Options options;
  options.home = quorvelle::homeDirectory();
  const char* dataHome = std::getenv("XDG_DATA_HOME");
  std::string data = (dataHome && dataHome[0] == '/') ? dataHome : options.home + "/.local/share";
  options.trashFolder = data + "/Trash";
  options.creatableFolders = {options.home + "/.local/bin", options.home + "/Applications"};
  return options;
}

bool LinuxFileSystem::isCreatableFolder(const std::string& path) const {
  const std::string wanted = withoutTrailingSlash(path);
  for (const std::string& folder : options_.creatableFolders) {
    if (withoutTrailingSlash(folder) == wanted) return true;
  }
  return false;
}

bool LinuxFileSystem::fileExists(const std::string& path) const {
  struct stat info;
  return stat(path.c_str(), &info) == 0;
}

bool LinuxFileSystem::isExecutableFile(const std::string& path) const {
  struct stat info;
  return stat(path.c_str(), &info) == 0 && S_ISREG(info.st_mode) && access(path.c_str(), X_OK) == 0;
}

bool LinuxFileSystem::isWritableDirectory(const std::string& path) const {
  struct stat info;
  if (lstat(path.c_str(), &info) == 0 || errno != ENOENT) return isSearchableWritableDirectory(path);
  if (!isCreatableFolder(path)) return false;
  // A missing folder of the user's own: writable when it can be made.
  std::string above = parentPath(withoutTrailingSlash(path));
  while (lstat(above.c_str(), &info) != 0 && errno == ENOENT && above != "/") above = parentPath(above);
  return isSearchableWritableDirectory(above);
}

std::optional<std::string> LinuxFileSystem::destinationOfSymbolicLink(const std::string& path) const {
  char buffer[PATH_MAX];
  ssize_t n = readlink(path.c_str(), buffer, sizeof buffer);
  if (n < 0 || n == static_cast<ssize_t>(sizeof buffer)) return std::nullopt;
  return std::string(buffer, static_cast<size_t>(n));
}

std::string LinuxFileSystem::resolvingSymlinks(const std::string& path) const {
  char buffer[PATH_MAX];
  if (realpath(path.c_str(), buffer)) return buffer;
  // Resolve what exists and keep the missing rest as it is.
  std::string trimmed = withoutTrailingSlash(path);
  std::string parent = parentPath(trimmed);
  if (parent == trimmed || trimmed.empty()) return path;
  std::string resolvedParent = resolvingSymlinks(parent);
  std::string name = trimmed.substr(trimmed.find_last_of('/') + 1);
  return (resolvedParent == "/" ? "" : resolvedParent) + "/" + name;
}

bool LinuxFileSystem::removeItem(const std::string& path, std::string* error) {
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    *error = fileErrorDescription("remove", path, errno);
    return false;
  }
  std::error_code code;
  std::filesystem::remove_all(path, code);
  if (code) {
    *error = fileErrorDescription("remove", path, code.message());
    return false;
  }
  return true;
}

bool LinuxFileSystem::createSymbolicLink(const std::string& path, const std::string& destination,
                                         std::string* error) {
  const std::string folder = parentPath(path);
  if (isCreatableFolder(folder)) {
    std::string made;
    if (!makeDirectories(folder, &made)) {
      *error = fileErrorDescription("create the folder", folder, made);
      return false;
    }
  }
  if (symlink(destination.c_str(), path.c_str()) != 0) {
    *error = fileErrorDescription("create the link", path, errno);
    return false;
  }
  return true;
}

bool LinuxFileSystem::createDirectory(const std::string& path, std::string* error) {
  std::string made;
  if (makeDirectories(path, &made)) return true;
  *error = fileErrorDescription("create the folder", path, made);
  return false;
}

bool LinuxFileSystem::copyItem(const std::string& from, const std::string& to, std::string* error) {
  namespace fs = std::filesystem;
  struct stat info;
  if (lstat(from.c_str(), &info) != 0) {
    *error = fileErrorDescription("copy", from, errno);
    return false;
  }
  if (lstat(to.c_str(), &info) == 0) {
    *error = fileErrorDescription("copy to", to, EEXIST);
    return false;
  }
  std::string made;
  if (isCreatableFolder(parentPath(to)) && !makeDirectories(parentPath(to), &made)) {
    *error = fileErrorDescription("create the folder", parentPath(to), made);
    return false;
  }
  // Copy under a temporary name, then move into place only if nothing stands there.
  std::string pattern = parentPath(to) + "/.quorvelle-copy-XXXXXX";
  if (!mkdtemp(pattern.data())) {
    *error = fileErrorDescription("copy to", to, errno);
    return false;
  }
  const std::string staging = pattern + "/item";
  std::error_code code;
  fs::copy(from, staging, fs::copy_options::recursive | fs::copy_options::copy_symlinks, code);
  if (!code && renameat2(AT_FDCWD, staging.c_str(), AT_FDCWD, to.c_str(), RENAME_NOREPLACE) != 0) {
    code = std::error_code(errno, std::generic_category());
  }
  std::error_code ignored;
  fs::remove_all(pattern, ignored);
  if (code) {
    *error = fileErrorDescription("copy to", to, code.message());
    return false;
  }
  return true;
}

bool LinuxFileSystem::trashItem(const std::string& path, std::string* error) {
  return moveToTrash(path, options_.trashFolder, error);
}

}  // namespace quorvelle
