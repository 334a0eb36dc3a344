#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <string>

namespace quorvelle::testing_support {

// Makes an existing folder read-only for real, also to root (who ignores
// permission bits): by its mode, and where that is not enough by the
// immutable attribute. Undone at the end.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string path) : path_(std::move(path)) {
    chmod(path_.c_str(), 0555);
    if (probeWritable()) setImmutable(true);
    readOnly_ = !probeWritable();
  }
  ~ReadOnlyFolder() {
    if (immutable_) setImmutable(false);
    chmod(path_.c_str(), 0755);
  }
  // False when this machine offers no way to make it read-only.
  bool readOnly() const { return readOnly_; }

 private:
  bool probeWritable() const {
    std::string probe = path_ + "/.probe";
    int fd = open(probe.c_str(), O_WRONLY | O_CREAT | O_EXCL, 0600);
    if (fd < 0) return false;
    close(fd);
    unlink(probe.c_str());
    return true;
  }
  void setImmutable(bool on) {
    int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    if (fd < 0) return;
    int flags = 0;
    if (ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0) {
      flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
      if (ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0) immutable_ = on;
    }
    close(fd);
  }

  std::string path_;
  bool immutable_ = false;
  bool readOnly_ = false;
};

}  // namespace quorvelle::testing_support
