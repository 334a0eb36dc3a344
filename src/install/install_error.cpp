#include "install/install_error.h"

namespace quorvelle {

std::string InstallError::description() const {
  if (kind == Kind::MissingHelper) return "The quorvelle helper is missing from this copy of Quorvelle.";
  return message;
}

}  // namespace quorvelle
