#pragma once

#include <string>
#include <vector>

#include "platform/files.h"

namespace quorvelle {

// The file system of this machine for the installers.
class LinuxFileSystem : public FileSystem {
 public:
  struct Options {
    std::string home;
    // The user's trash folder (holding files/ and info/).
    std::string trashFolder;
    // Folders of the user's own that may be missing on a fresh account and are
    // made on demand: a missing one counts as writable when the nearest
    // existing folder above it is writable, and linking or copying into it
    // creates it.
    std::vector<std::string> creatableFolders;
  };

  explicit LinuxFileSystem(Options options) : options_(std::move(options)) {}

  // Home from $HOME, trash under $XDG_DATA_HOME (or ~/.local/share), and
  // ~/.local/bin and ~/Applications made on demand.
  static Options optionsForCurrentUser();

  std::string homeDirectory() const override { return options_.home; }
  bool fileExists(const std::string& path) const override;
  bool isExecutableFile(const std::string& path) const override;
  bool isWritableDirectory(const std::string& path) const override;
  std::optional<std::string> destinationOfSymbolicLink(const std::string& path) const override;
  std::string resolvingSymlinks(const std::string& path) const override;

  bool removeItem(const std::string& path, std::string* error) override;
  bool createSymbolicLink(const std::string& path, const std::string& destination,
                          std::string* error) override;
  bool createDirectory(const std::string& path, std::string* error) override;
  // Files keep their permission bits; links are copied as links. The copy is
  // made under a temporary name beside the destination and renamed into place,
  // so a failed copy leaves nothing behind.
  bool copyItem(const std::string& from, const std::string& to, std::string* error) override;
  // The freedesktop.org trash: the item moves into the trash's files/ folder
  // beside an info/ entry naming where it came from. An item on another file
  // system goes to that file system's own .Trash-<uid> folder.
  bool trashItem(const std::string& path, std::string* error) override;

 private:
  bool isCreatableFolder(const std::string& path) const;

  Options options_;
};

}  // namespace quorvelle
