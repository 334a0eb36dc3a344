#include "linux/keymap/keymap_state_file.h"

#include <fcntl.h>
#include <sys/file.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <cstdlib>
#include <cstring>

#include "linux/file_util.h"

namespace quorvelle {
namespace {

constexpr off_t kMaxStateSize = 1 << 20;

std::string describe(const std::string& what, int code) { return what + ": " + std::strerror(code); }

// A private folder: ours, a real folder (not a link), nobody else may enter.
bool ensurePrivateDirectory(const std::string& path, std::string* error) {
  if (mkdir(path.c_str(), 0700) != 0 && errno != EEXIST) {
    *error = describe(path, errno);
    return false;
  }
  struct stat info;
  if (lstat(path.c_str(), &info) != 0) {
    *error = describe(path, errno);
    return false;
  }
  if (!S_ISDIR(info.st_mode) || info.st_uid != geteuid()) {
    *error = path + " is not a folder owned by this user";
    return false;
  }
  if ((info.st_mode & 077) != 0) {
    *error = path + " may be entered by other users";
    return false;
  }
  return true;
}

}  // namespace

std::optional<std::string> keymapStateDirectory(std::string* error) {
  std::string path;
  const char* runtime = std::getenv("XDG_RUNTIME_DIR");
  if (runtime && runtime[0] == '/') {
    path = std::string(runtime) + "/quorvelle";
  } else {
    path = "/tmp/quorvelle-" + std::to_string(geteuid());
  }
  if (!ensurePrivateDirectory(path, error)) return std::nullopt;
  return path;
}

KeymapStateFile::KeymapStateFile(std::string directory)
    : directory_(std::move(directory)), path_(directory_ + "/keymap-state") {}

KeymapStateFile::~KeymapStateFile() {
  if (lockFd_ >= 0) close(lockFd_);
}

bool KeymapStateFile::lock(std::string* error) {
  if (lockFd_ >= 0) return true;
  std::string lockPath = path_ + ".lock";
  int fd = open(lockPath.c_str(), O_RDWR | O_CREAT | O_CLOEXEC | O_NOFOLLOW, 0600);
  if (fd < 0) {
    *error = describe(lockPath, errno);
    return false;
  }
  while (flock(fd, LOCK_EX) != 0) {
    if (errno != EINTR) {
      *error = describe(lockPath, errno);
      close(fd);
      return false;
    }
  }
  lockFd_ = fd;
  return true;
}

std::optional<KeymapState> KeymapStateFile::load(std::string* error, std::string* warning) {
  // Without blocking: a FIFO is refused below, not waited on.
  int fd = open(path_.c_str(), O_RDONLY | O_CLOEXEC | O_NOFOLLOW | O_NONBLOCK);
  if (fd < 0) {
    if (errno == ENOENT) return KeymapState{};
    if (errno != ELOOP) {
      *error = describe(path_, errno);
      return std::nullopt;
    }
  }
  std::string why;
  struct stat info;
  if (fd < 0) {
    why = "it is a symbolic link";
  } else if (fstat(fd, &info) != 0) {
    why = std::strerror(errno);
  } else if (!S_ISREG(info.st_mode) || info.st_uid != geteuid() || (info.st_mode & 022) != 0) {
    why = "it is not a private file of this user";
  } else if (info.st_size > kMaxStateSize) {
    why = "it is too large";
  }
  if (fd >= 0) close(fd);
  if (why.empty()) {
    std::optional<std::string> text = readFile(path_, error);
    if (!text) return std::nullopt;
    std::optional<KeymapState> state = parseKeymapState(*text, &why);
    if (state) return state;
  }
  std::string aside = path_ + ".invalid";
  if (rename(path_.c_str(), aside.c_str()) != 0) {
    *error = "cannot set aside " + path_ + " (" + why + "): " + std::strerror(errno);
    return std::nullopt;
  }
  *warning = "ignored " + path_ + " (" + why + "); kept it as " + aside;
  return KeymapState{};
}

bool KeymapStateFile::save(const KeymapState& state, std::string* error) {
  if (state.empty()) {
    if (unlink(path_.c_str()) != 0 && errno != ENOENT) {
      *error = describe(path_, errno);
      return false;
    }
    return true;
  }
  return writeFileAtomically(path_, serializeKeymapState(state), error, 0600);
}

}  // namespace quorvelle
