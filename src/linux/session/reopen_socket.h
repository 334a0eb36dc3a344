#pragma once

#include <string>

namespace quorvelle {

// The local socket by which the `quorvelle` command asks the running copy to
// show its settings. It lives in a folder only this user can enter.
namespace reopen {

// The one request the socket accepts, and the answer once it is taken.
inline constexpr char kRequest[] = "show-settings\n";
inline constexpr char kReply[] = "ok\n";

// $XDG_RUNTIME_DIR/quorvelle, or /tmp/quorvelle-<uid> when the session has no
// runtime folder (an absolute one).
std::string socketFolder();
std::string socketPath(const std::string& folder);

// Creates the folder for this user alone (0700), or checks that an existing
// one is a real folder of this user that nobody else may enter, tightening
// its mode when it is ours. False, with *error, when it cannot be trusted.
bool preparePrivateFolder(const std::string& folder, std::string* error);

// The same check without creating or changing anything.
bool isPrivateFolder(const std::string& folder, std::string* error);

}  // namespace reopen
}  // namespace quorvelle
