#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// The file system as the installers see it. Failures carry a user-facing
// description in *error.
class FileSystem {
 public:
  virtual ~FileSystem() = default;

  virtual std::string homeDirectory() const = 0;
  // Something exists at the path (links followed).
  virtual bool fileExists(const std::string& path) const = 0;
  // An existing executable file (links followed).
  virtual bool isExecutableFile(const std::string& path) const = 0;
  // This process may create and remove entries in the folder.
  virtual bool isWritableDirectory(const std::string& path) const = 0;
  // The target of the symbolic link at the path; nullopt when the path is not
  // a symbolic link (also when nothing is there).
  virtual std::optional<std::string> destinationOfSymbolicLink(const std::string& path) const = 0;
  // The path with every symbolic link in it resolved.
  virtual std::string resolvingSymlinks(const std::string& path) const = 0;

  // Removes a file, a link, or a folder with its contents.
  virtual bool removeItem(const std::string& path, std::string* error) = 0;
  virtual bool createSymbolicLink(const std::string& path, const std::string& destination,
                                  std::string* error) = 0;
  // Creates the folder and any missing parents; succeeds when it already
  // exists as a folder.
  virtual bool createDirectory(const std::string& path, std::string* error) = 0;
  // Copies a file or a whole folder; fails when the destination exists.
  virtual bool copyItem(const std::string& from, const std::string& to, std::string* error) = 0;
  // Moves the item to the user's Trash.
  virtual bool trashItem(const std::string& path, std::string* error) = 0;
};

}  // namespace quorvelle
