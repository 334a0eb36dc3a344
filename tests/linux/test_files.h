#pragma once

#include <fcntl.h>
#include <linux/fs.h>
#include <sys/ioctl.h>
#include <sys/stat.h>
#include <unistd.h>

#include <map>
#include <set>
#include <string>

#include "linux/files/linux_file_system.h"

namespace quorvelle::testing_support {

// The real file system, except that the listed folders count as not writable
// (the tests run as root, to whom every folder is) and the listed operations
// ("copy", "trash", "mkdir") fail with the given description.
class TestFiles : public LinuxFileSystem {
 public:
  using LinuxFileSystem::LinuxFileSystem;
  bool isWritableDirectory(const std::string& path) const override {
    return !unwritable.count(path) && LinuxFileSystem::isWritableDirectory(path);
  }
  bool copyItem(const std::string& from, const std::string& to, std::string* error) override {
    return passes("copy", error) && LinuxFileSystem::copyItem(from, to, error);
  }
  bool trashItem(const std::string& path, std::string* error) override {
    return passes("trash", error) && LinuxFileSystem::trashItem(path, error);
  }
  bool createDirectory(const std::string& path, std::string* error) override {
    return passes("mkdir", error) && LinuxFileSystem::createDirectory(path, error);
  }
  std::set<std::string> unwritable;
  std::map<std::string, std::string> failures;

 private:
  bool passes(const std::string& operation, std::string* error) const {
    if (failures.count(operation)) *error = failures.at(operation);
    return !failures.count(operation);
  }
};

// Makes a folder read-only for real, also to root: by its mode, and where that
// is not enough by the immutable attribute. Undone at the end.
class ReadOnlyFolder {
 public:
  explicit ReadOnlyFolder(std::string path) : path_(std::move(path)) {
    chmod(path_.c_str(), 0555);
    if (!readOnly()) immutable_ = setImmutable(true);
  }
  ~ReadOnlyFolder() {
    if (immutable_) setImmutable(false);
    chmod(path_.c_str(), 0755);
  }
  // False when this machine offers no way to make it read-only.
  bool readOnly() const {
    const std::string probe = path_ + "/.probe";
    return mkdir(probe.c_str(), 0700) != 0 || rmdir(probe.c_str()) != 0;
  }

 private:
  bool setImmutable(bool on) const {
    const int fd = open(path_.c_str(), O_RDONLY | O_DIRECTORY);
    int flags = 0;
    bool done = fd >= 0 && ioctl(fd, FS_IOC_GETFLAGS, &flags) == 0;
    flags = on ? (flags | FS_IMMUTABLE_FL) : (flags & ~FS_IMMUTABLE_FL);
    done = done && ioctl(fd, FS_IOC_SETFLAGS, &flags) == 0;
    if (fd >= 0) close(fd);
    return done;
  }

  std::string path_;
  bool immutable_ = false;
};

}  // namespace quorvelle::testing_support
