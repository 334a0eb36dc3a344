#pragma once

#include <sys/types.h>

#include <string>

namespace quorvelle {

// Whether udev's current tags for the character device include "uaccess",
// which has logind give the seat's user access to it. udevDataDir is udev's
// database folder (/run/udev/data).
bool udevTagsUaccess(const std::string& udevDataDir, dev_t device);

// Removes every named user's entry from the node's access ACL: what udev's
// uaccess gave, which it does not take back when the tag goes. A node with no
// ACL is left alone. False, with *error, when the ACL cannot be changed.
bool removeUserAclEntries(const std::string& path, std::string* error);

}  // namespace quorvelle
