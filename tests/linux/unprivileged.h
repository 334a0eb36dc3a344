#pragma once

#include <sys/types.h>

#include <string>
#include <vector>

namespace quorvelle::testing_support {

// The user tests drop to when they run as root, so that permissions count.
inline constexpr uid_t kNobody = 65534;
// Put before a command, runs it as nobody.
inline const std::vector<std::string> kAsNobody = {"/usr/bin/setpriv", "--reuid=65534", "--regid=65534",
                                                   "--clear-groups"};

}  // namespace quorvelle::testing_support
