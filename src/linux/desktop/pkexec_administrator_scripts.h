#pragma once

#include <optional>
#include <string>

#include "platform/administrator_scripts.h"

namespace quorvelle {

// The shell command inside the one administrator script form, unescaped;
// nullopt for any other text.
std::optional<std::string> shellCommandOfAdministratorScript(const std::string& source);

// Runs the command of an administrator script as `pkexec /bin/sh -c COMMAND`:
// polkit's agent asks for the credentials. A dismissed or failed
// authentication, and a command that fails, report what they wrote to
// standard error.
class PkexecAdministratorScripts : public AdministratorScripts {
 public:
  explicit PkexecAdministratorScripts(std::string pkexecPath = "/usr/bin/pkexec")
      : pkexecPath_(std::move(pkexecPath)) {}

  ScriptOutcome runWithAdministratorPrivileges(const std::string& source) override;

 private:
  std::string pkexecPath_;
};

}  // namespace quorvelle
