#pragma once

#include <optional>
#include <string>

namespace quorvelle {

// Why the application cannot show anything: neither an X11 nor a Wayland
// display is named, and no Qt platform is chosen by hand (offscreen, for
// example). nullopt when there is something to show on.
std::optional<std::string> missingDisplay();

}  // namespace quorvelle
