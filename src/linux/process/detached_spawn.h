#pragma once

#include <string>
#include <vector>

namespace quorvelle {

// Starts the executable in a session of its own, no longer our child: it
// outlives us, never becomes a zombie of ours, and does not get our terminal's
// hang-up. Standard streams go to the null device, the working folder is "/",
// and the signal mask and dispositions are the defaults. Returns once the
// program has been executed; false, with *error, when it could not be.
bool spawnDetached(const std::string& executable, const std::vector<std::string>& arguments,
                   std::string* error);

// The executable a bare command name stands for, searched in $PATH; a name
// with a slash is returned as it is. Empty when none is found.
std::string findExecutable(const std::string& command);

}  // namespace quorvelle
