#pragma once

#include <optional>
#include <string>

#include "install/command_line_paths.h"
#include "platform/administrator_scripts.h"
#include "platform/bundle.h"
#include "platform/files.h"

namespace quorvelle {

// Puts a symbolic link named quorvelle to the bundle's helper executable into
// a directory of the command search path, and takes such links away again.
// It links directly where it may write, otherwise through one shell command
// run with administrator rights. Holds no state: every call reads the file
// system afresh.
class CommandLineTool {
 public:
  static constexpr char kCommandName[] = "quorvelle";
  // Inside the bundle folder.
  static constexpr char kHelperPath[] = "Contents/Helpers/quorvelle";

  CommandLineTool(FileSystem& files, AdministratorScripts& scripts, const Bundles& bundles,
                  CommandLinePaths paths);

  // The first link path, in directory order, at which an executable file is
  // found (links followed, wherever they point).
  std::optional<std::string> installedPath() const;

  // The path of the link that now exists; nullopt with *error describing why.
  // A file or folder standing at the link path goes to the Trash first.
  std::optional<std::string> install(std::string* error);

  // Removes every symbolic link named quorvelle in the link directories,
  // wherever it points; a regular file of that name stays.
  bool remove(std::string* error);

  // Runs the shell command with administrator rights; *error holds the
  // platform's message on failure.
  bool runWithAdministratorPrivileges(const std::string& command, std::string* error);

  std::string helperPath() const;

 private:
  std::string linkPath(const std::string& directory) const;

  FileSystem& files_;
  AdministratorScripts& scripts_;
  const Bundles& bundles_;
  CommandLinePaths paths_;
};

}  // namespace quorvelle
