#pragma once

#include <string>
#include <vector>

namespace quorvelle::sim {

// One ordered record of the calls made into several simulated services, so a
// test can check the order across them.
using Journal = std::vector<std::string>;

}  // namespace quorvelle::sim
