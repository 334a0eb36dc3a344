#pragma once

#include <string>

#include "install/applications_folders.h"

namespace quorvelle {

// The package installs into /opt; a user's own copies live in
// ~/Applications, which needs no administrator rights, so the offer to move
// copies there. Downloads carry no quarantine here.
ApplicationsFolders linuxApplicationsFolders(const std::string& homeDirectory);

}  // namespace quorvelle
