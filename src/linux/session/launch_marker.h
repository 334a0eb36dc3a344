#pragma once

namespace quorvelle {

// The argument the autostart entry passes, by which a start at login is told
// apart from one by the user.
inline constexpr char kLoginItemLaunchArgument[] = "--launched-at-login";

}  // namespace quorvelle
