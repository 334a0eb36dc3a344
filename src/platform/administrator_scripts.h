#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// The one script form the installers hand over: a shell command, escaped as a
// string literal (backslash and double quote each preceded by a backslash),
// between this prefix and suffix.
inline constexpr char kAdministratorScriptPrefix[] = "do shell script \"";
inline constexpr char kAdministratorScriptSuffix[] = "\" with administrator privileges";

struct ScriptOutcome {
  // False when the platform could not make a script of the source; nothing ran.
  bool built = false;
  bool succeeded = false;
  // The platform's readable message for a failure, when it gave one.
  std::optional<std::string> errorMessage;
};

// Runs scripts with administrator rights. The system asks for an
// administrator's credentials first; the call blocks until the user has
// answered and the script has finished.
class AdministratorScripts {
 public:
  virtual ~AdministratorScripts() = default;
  virtual ScriptOutcome runWithAdministratorPrivileges(const std::string& source) = 0;
};

}  // namespace quorvelle
