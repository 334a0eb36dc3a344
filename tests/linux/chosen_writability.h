#pragma once

#include <set>
#include <string>

#include "linux/linux_file_system.h"

namespace quorvelle::testing_support {

// The real file system, except that the listed folders count as not writable:
// the tests run as root, to whom every folder is writable.
class ChosenWritability : public LinuxFileSystem {
 public:
  using LinuxFileSystem::LinuxFileSystem;
  bool isWritableDirectory(const std::string& path) const override {
    return !unwritable.count(path) && LinuxFileSystem::isWritableDirectory(path);
  }
  std::set<std::string> unwritable;
};

}  // namespace quorvelle::testing_support
