#pragma once

#include <QString>
#include <string_view>

namespace quorvelle {

// The text shown on Linux for one of the core's user-facing texts. The core's
// texts are the keys; the few that would tell a Linux user something false
// about macOS places are reworded, every other text is shown as it stands.
QString linuxText(std::string_view key);

}  // namespace quorvelle
