#pragma once

#include <string>

namespace quorvelle {

// The text wrapped in single quotes for the POSIX shell. A single quote inside
// becomes '\'' so that no path can end the quoting early.
std::string shellQuote(const std::string& text);

// The text as it stands when the shell would read it as one plain word
// (letters, digits and / . _ - + , : @ only), otherwise shellQuote.
std::string shellWord(const std::string& text);

// The administrator script that runs the shell command: the command escaped
// for a string literal (backslashes doubled first, then double quotes
// escaped) inside the one script form.
std::string administratorScriptSource(const std::string& command);

}  // namespace quorvelle
