#include "linux/files/file_util.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <cstring>
#include <vector>

namespace quorvelle {
namespace {

std::string describe(const std::string& what, int error) { return what + ": " + std::strerror(error); }

// As many links as the kernel follows in one path.
constexpr int kMaxLinkHops = 40;

// The file a chain of symbolic links ends at, the path itself when it is no
// link. Each target is joined to its link's folder as text: the kernel
// resolves "..", and links in the folders, when the path is used.
std::optional<std::string> linkedFile(const std::string& path, std::string* error) {
  std::string file = path;
  for (int hop = 0; hop < kMaxLinkHops; ++hop) {
    char target[PATH_MAX];
    ssize_t n = readlink(file.c_str(), target, sizeof target);
    if (n < 0) return file;  // no link (or nothing there): this is the file
    if (n == static_cast<ssize_t>(sizeof target)) break;
    std::string next(target, static_cast<size_t>(n));
    file = next[0] == '/' ? next : parentPath(file) + "/" + next;
  }
  *error = describe(path, ELOOP);
  return std::nullopt;
}

}  // namespace

std::string parentPath(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

std::optional<std::string> readFile(const std::string& path, std::string* error, bool* missing) {
  if (missing) *missing = false;
  std::string why;
  const std::string tooLarge = "larger than " + std::to_string(kMaxReadBytes) + " bytes";
  // Looked at first, so that no device is even opened; opened without
  // blocking, so that a FIFO put there since cannot hold the caller up.
  struct stat info;
  int fd = -1;
  if (stat(path.c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    why = "not a regular file";
  } else if ((fd = open(path.c_str(), O_RDONLY | O_CLOEXEC | O_NONBLOCK | O_NOCTTY)) < 0) {
    if (missing) *missing = (errno == ENOENT);
    why = std::strerror(errno);
  } else if (fstat(fd, &info) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode)) {
    why = "not a regular file";
  } else if (static_cast<unsigned long long>(info.st_size) > kMaxReadBytes) {
    why = tooLarge;
  }
  std::string contents;
  char buffer[16384];
  while (why.empty()) {
    ssize_t n = read(fd, buffer, sizeof buffer);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) why = std::strerror(errno);
    if (n <= 0) break;
    contents.append(buffer, static_cast<size_t>(n));
    // Files whose size stat does not tell (in /proc), and files that grow.
    if (contents.size() > kMaxReadBytes) why = tooLarge;
  }
  if (fd >= 0) close(fd);
  if (!why.empty()) {
    *error = path + ": " + why;
    return std::nullopt;
  }
  return contents;
}

bool makeDirectories(const std::string& path, std::string* error, unsigned mode) {
  if (path.empty() || path == "/" || path == ".") return true;
  struct stat info;
  if (stat(path.c_str(), &info) == 0) {
    if (S_ISDIR(info.st_mode)) return true;
    *error = describe(path, ENOTDIR);
    return false;
  }
  if (!makeDirectories(parentPath(path), error, mode)) return false;
  if (mkdir(path.c_str(), mode) != 0 && errno != EEXIST) {
    *error = describe(path, errno);
    return false;
  }
  return true;
}

bool writeFileAtomically(const std::string& path, const std::string& contents, std::string* error,
                         unsigned mode) {
  if (!makeDirectories(parentPath(path), error)) return false;
  // Through a symbolic link (dotfiles kept elsewhere) the file it names is
  // replaced and the link stays; a dangling link gets its file made.
  const std::optional<std::string> file = linkedFile(path, error);
  if (!file) return false;
  struct stat info;
  if (stat(file->c_str(), &info) == 0 && !S_ISREG(info.st_mode)) {
    // Never rename over a device, a FIFO or a folder (a rule masked by a
    // link to /dev/null stays masked).
    *error = *file + ": not a regular file";
    return false;
  }
  const std::string folder = parentPath(*file);
  std::string pattern = *file + ".tmp-XXXXXX";
  std::vector<char> name(pattern.begin(), pattern.end());
  name.push_back('\0');
  int fd = mkostemp(name.data(), O_CLOEXEC);
  if (fd < 0) {
    *error = describe(*file, errno);
    return false;
  }
  auto fail = [&](int code) {
    close(fd);
    unlink(name.data());
    *error = describe(*file, code);
    return false;
  };
  size_t written = 0;
  while (written < contents.size()) {
    ssize_t n = write(fd, contents.data() + written, contents.size() - written);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return fail(errno);
    written += static_cast<size_t>(n);
  }
  if (fchmod(fd, mode) != 0) return fail(errno);
  if (fsync(fd) != 0) return fail(errno);
  if (close(fd) != 0) {
    int code = errno;
    unlink(name.data());
    *error = describe(*file, code);
    return false;
  }
  if (rename(name.data(), file->c_str()) != 0) {
    int code = errno;
    unlink(name.data());
    *error = describe(*file, code);
    return false;
  }
  // Make the rename itself durable.
  int dir = open(folder.c_str(), O_RDONLY | O_DIRECTORY | O_CLOEXEC);
  if (dir >= 0) {
    fsync(dir);
    close(dir);
  }
  return true;
}

}  // namespace quorvelle
