#include "linux/input_access_trust.h"

namespace quorvelle {

bool InputAccessTrust::isTrustedPrompting() {
  std::string why;
  if (!hasInputAccess(paths_, &why)) {
    prompt_.show(why);
    return false;
  }
  prompt_.withdraw();
  return true;
}

bool InputAccessTrust::isTrusted() const {
  if (!hasInputAccess(paths_)) return false;
  prompt_.withdraw();
  return true;
}

}  // namespace quorvelle
