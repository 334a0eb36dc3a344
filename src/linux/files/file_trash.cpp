#include "linux/files/file_trash.h"

#include <fcntl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <cerrno>
#include <climits>
#include <cstdlib>
#include <ctime>
#include <optional>

#include "linux/files/file_errors.h"
#include "linux/files/file_util.h"

namespace quorvelle {
namespace {

std::string baseName(const std::string& path) {
  size_t slash = path.find_last_of('/');
  return slash == std::string::npos ? path : path.substr(slash + 1);
}

// Percent-encodes all but unreserved characters and slashes, as trash info
// entries require.
std::string encodePath(const std::string& path) {
  static const char kHex[] = "0123456789ABCDEF";
  std::string out;
  for (unsigned char c : path) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                 c == '-' || c == '_' || c == '.' || c == '~';
    if (plain) {
      out += static_cast<char>(c);
    } else {
      out += '%';
      out += kHex[c >> 4];
      out += kHex[c & 0xF];
    }
  }
  return out;
}

// The item's absolute path with its folder's links resolved, the item itself
// left as it is (a link is trashed, not its target).
std::optional<std::string> absoluteItemPath(const std::string& path) {
  char resolved[PATH_MAX];
  if (!realpath(parentPath(path).c_str(), resolved)) return std::nullopt;
  std::string folder = resolved;
  return (folder == "/" ? "" : folder) + "/" + baseName(path);
}

// The top folder of the file system that holds the path.
std::string mountTop(const std::string& path, dev_t device) {
  std::string top = path;
  while (top != "/") {
    std::string up = parentPath(top);
    struct stat info;
    if (stat(up.c_str(), &info) != 0 || info.st_dev != device) break;
    top = up;
  }
  return top;
}

std::string deletionDate() {
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  char stamp[32];
  std::strftime(stamp, sizeof stamp, "%Y-%m-%dT%H:%M:%S", &local);
  return stamp;
}

bool writeWhole(int fd, const std::string& text) {
  size_t done = 0;
  while (done < text.size()) {
    ssize_t n = write(fd, text.data() + done, text.size() - done);
    if (n < 0 && errno == EINTR) continue;
    if (n < 0) return false;
    done += static_cast<size_t>(n);
  }
  return true;
}

// Where an item goes: the home trash serves items on its own file system,
// others go to the trash at the top of theirs.
struct TrashPlace {
  std::string folder;
  std::string infoPath;  // the Path= of the entry
};

TrashPlace trashPlaceFor(const std::string& absolute, dev_t device, const std::string& homeTrash) {
  std::string homeAnchor = homeTrash;
  struct stat anchor;
  while (stat(homeAnchor.c_str(), &anchor) != 0 && homeAnchor != "/") homeAnchor = parentPath(homeAnchor);
  if (anchor.st_dev == device) return {homeTrash, absolute};
  std::string top = mountTop(parentPath(absolute), device);
  // Entries in a file system's own trash name paths relative to its top.
  return {(top == "/" ? "" : top) + "/.Trash-" + std::to_string(getuid()),
          top == "/" ? absolute.substr(1) : absolute.substr(top.size() + 1)};
}

// Claims a free entry name by creating its info file exclusively: the open
// file, or -1 with errno. *entryName and *infoFile name what was tried last.
int claimEntry(const std::string& trash, const std::string& name, std::string* entryName, std::string* infoFile) {
  *entryName = name;
  int fd = -1;
  for (int n = 2; n < 10000; ++n) {
    *infoFile = trash + "/info/" + *entryName + ".trashinfo";
    struct stat existing;
    if (lstat((trash + "/files/" + *entryName).c_str(), &existing) != 0) {
      fd = open(infoFile->c_str(), O_WRONLY | O_CREAT | O_EXCL | O_CLOEXEC, 0600);
      if (fd >= 0 || errno != EEXIST) break;
    }
    *entryName = name + "." + std::to_string(n);
  }
  return fd;
}

// Writes the whole text and closes the file; false with *code on failure.
bool writeAndClose(int fd, const std::string& text, int* code) {
  bool written = writeWhole(fd, text);
  *code = errno;
  if (close(fd) != 0 && written) {
    written = false;
    *code = errno;
  }
  return written;
}

}  // namespace

bool moveToTrash(const std::string& path, const std::string& homeTrash, std::string* error) {
  struct stat item;
  std::optional<std::string> absolute = absoluteItemPath(path);
  if (lstat(path.c_str(), &item) != 0 || !absolute) {
    *error = fileErrorDescription("move to the trash", path, errno);
    return false;
  }

  const TrashPlace place = trashPlaceFor(*absolute, item.st_dev, homeTrash);
  const std::string& trash = place.folder;
  std::string made;
  if (!makeDirectories(trash + "/files", &made, 0700) || !makeDirectories(trash + "/info", &made, 0700)) {
    *error = fileErrorDescription("move to the trash", path, made);
    return false;
  }

  std::string entryName;
  std::string info;
  int fd = claimEntry(trash, baseName(*absolute), &entryName, &info);
  if (fd < 0) {
    *error = fileErrorDescription("move to the trash", path, errno);
    return false;
  }
  std::string text = "[Trash Info]\nPath=" + encodePath(place.infoPath) + "\nDeletionDate=" + deletionDate() + "\n";
  int writeErrno = 0;
  if (!writeAndClose(fd, text, &writeErrno)) {
    unlink(info.c_str());
    *error = fileErrorDescription("move to the trash", path, writeErrno);
    return false;
  }
  if (rename(path.c_str(), (trash + "/files/" + entryName).c_str()) != 0) {
    int code = errno;
    unlink(info.c_str());
    *error = fileErrorDescription("move to the trash", path, code);
    return false;
  }
  return true;
}

}  // namespace quorvelle
