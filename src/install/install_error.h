#pragma once

#include <string>

namespace quorvelle {

// The command installer's own failures. Errors of the file system pass
// through the installer as their own descriptions.
struct InstallError {
  enum class Kind { Failed, MissingHelper };

  static InstallError failed(std::string message) { return {Kind::Failed, std::move(message)}; }
  static InstallError missingHelper() { return {Kind::MissingHelper, {}}; }

  // What the user is shown.
  std::string description() const;

  Kind kind = Kind::Failed;
  std::string message;  // for Failed only
};

}  // namespace quorvelle
