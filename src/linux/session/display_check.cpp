#include "linux/session/display_check.h"

#include <cstdlib>

namespace quorvelle {

namespace {

bool isSet(const char* name) {
  const char* value = std::getenv(name);
  return value && *value;
}

}  // namespace

std::optional<std::string> missingDisplay() {
  if (isSet("DISPLAY") || isSet("WAYLAND_DISPLAY") || isSet("QT_QPA_PLATFORM")) return std::nullopt;
  return "no display: neither DISPLAY nor WAYLAND_DISPLAY is set. Quorvelle lives in the tray of a "
         "graphical session: start it from the desktop, or from a terminal inside one";
}

}  // namespace quorvelle
