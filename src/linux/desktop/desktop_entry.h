#pragma once

#include <map>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle {

// freedesktop.org desktop entry files, as far as autostart entries need them.

// A string value as stored: backslashes and control characters escaped.
std::string desktopStringValue(const std::string& text);

// The Exec line value running the program with the arguments: each argument
// quoted where the format reserves a character in it, percent signs doubled,
// and the whole escaped as a string value.
std::string desktopExecValue(const std::vector<std::string>& argv);

// The program and arguments of an Exec value (as stored in the file); field
// codes such as %U are dropped. nullopt when the quoting is broken.
std::optional<std::vector<std::string>> parseDesktopExec(const std::string& value);

// The keys of one group, untranslated keys only, values as stored.
std::map<std::string, std::string> desktopEntryGroup(const std::string& text, const std::string& group);

}  // namespace quorvelle
