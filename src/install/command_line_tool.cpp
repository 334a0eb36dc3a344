#include "install/command_line_tool.h"

#include <vector>

#include "install/install_error.h"
#include "install/shell_script_text.h"

namespace quorvelle {
namespace {

std::string parentDirectory(const std::string& path) {
  size_t slash = path.find_last_of('/');
  if (slash == std::string::npos) return ".";
  if (slash == 0) return "/";
  return path.substr(0, slash);
}

}  // namespace

CommandLineTool::CommandLineTool(FileSystem& files, AdministratorScripts& scripts, const Bundles& bundles,
                                 CommandLinePaths paths)
    : files_(files), scripts_(scripts), bundles_(bundles), paths_(std::move(paths)) {}

std::string CommandLineTool::helperPath() const {
  std::string bundle = bundles_.mainBundlePath();
  if (bundle.empty() || bundle.back() != '/') bundle += '/';
  return bundle + kHelperPath;
}

std::string CommandLineTool::linkPath(const std::string& directory) const {
  return directory + "/" + kCommandName;
}

std::optional<std::string> CommandLineTool::installedPath() const {
  for (const std::string& directory : paths_.linkDirectories) {
    std::string path = linkPath(directory);
    if (files_.isExecutableFile(path)) return path;
  }
  return std::nullopt;
}

std::optional<std::string> CommandLineTool::install(std::string* error) {
  const std::string helper = helperPath();
  if (!files_.isExecutableFile(helper)) {
    *error = InstallError::missingHelper().description();
    return std::nullopt;
  }
  for (const std::string& directory : paths_.linkDirectories) {
    if (!files_.isWritableDirectory(directory)) continue;
    std::string path = linkPath(directory);
    // Whatever stands there is replaced: an old link is removed, anything
    // else is the user's and goes to the Trash, or nothing is linked.
    std::string ignored;
    if (files_.destinationOfSymbolicLink(path)) files_.removeItem(path, &ignored);
    else if (files_.fileExists(path) && !files_.trashItem(path, error)) return std::nullopt;
    if (!files_.createSymbolicLink(path, helper, error)) return std::nullopt;
    return path;
  }
  const std::string& privileged = paths_.privilegedLinkPath;
  // -T: the link is made at the path itself, never inside a folder standing
  // there, which ln refuses as a failure.
  std::string command = "mkdir -p " + shellWord(parentDirectory(privileged)) + " && ln -sfT " +
                        shellQuote(helper) + " " + shellQuote(privileged);
  if (!runWithAdministratorPrivileges(command, error)) return std::nullopt;
  return privileged;
}

bool CommandLineTool::remove(std::string* error) {
  std::vector<std::string> needAdministrator;
  for (const std::string& directory : paths_.linkDirectories) {
    std::string path = linkPath(directory);
    if (!files_.destinationOfSymbolicLink(path)) continue;
    if (files_.isWritableDirectory(directory)) {
      if (!files_.removeItem(path, error)) return false;
    } else {
      needAdministrator.push_back(path);
    }
  }
  if (needAdministrator.empty()) return true;
  std::string command = "rm -f";
  for (const std::string& path : needAdministrator) {
    command += ' ';
    command += shellQuote(path);
  }
  return runWithAdministratorPrivileges(command, error);
}

bool CommandLineTool::runWithAdministratorPrivileges(const std::string& command, std::string* error) {
  ScriptOutcome outcome = scripts_.runWithAdministratorPrivileges(administratorScriptSource(command));
  if (!outcome.built) {
    *error = InstallError::failed("Could not build script.").description();
    return false;
  }
  if (outcome.succeeded) return true;
  *error = InstallError::failed(outcome.errorMessage.value_or("Command failed.")).description();
  return false;
}

}  // namespace quorvelle
