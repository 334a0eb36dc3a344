#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace quorvelle::testing_support {

// Makes a folder read-only for real, also to root (who ignores permission
// bits): by its mode, and where that is not enough by the immutable
// attribute. Undone at the end.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string path) : path_(std::move(path)) {
    chmod(path_.c_str(), 0555);
    if (writable()) immutable_ = setImmutable(true);
  }
  ~ReadOnlyFolder() {
    if (immutable_) setImmutable(false);
    chmod(path_.c_str(), 0755);
  }
  // False when this machine offers no way to make it read-only.
  bool readOnly() const { return !writable(); }

 private:
  bool writable() const {
    std::string probe = path_ + "/.probe";
    if (mkdir(probe.c_str(), 0700) != 0) return false;
    rmdir(probe.c_str());
    return true;
  }
  bool setImmutable(bool on) const {
    int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return false;
    int flags = 0;
    bool done = ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    close(fd);
    return done;
  }

  std::string path_;
  bool immutable_ = false;
};

}  // namespace quorvelle::testing_support
