#pragma once

#include <string>

namespace quorvelle {

// "Couldn’t <action> “<path>”: <reason>." - the description a failed file
// operation shows the user.
std::string fileErrorDescription(const std::string& action, const std::string& path, int errorNumber);
std::string fileErrorDescription(const std::string& action, const std::string& path,
                                 const std::string& reason);

}  // namespace quorvelle
