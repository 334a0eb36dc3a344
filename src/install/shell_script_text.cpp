#include "install/shell_script_text.h"

#include "platform/administrator_scripts.h"

namespace quorvelle {

std::string shellQuote(const std::string& text) {
  std::string quoted = "'";
  for (char c : text) {
    if (c == '\'') quoted += "'\\''";
    else quoted += c;
  }
  return quoted + "'";
}

std::string shellWord(const std::string& text) {
  if (text.empty()) return shellQuote(text);
  for (char c : text) {
    bool plain = (c >= 'a' && c <= 'z') || (c >= 'A' && c <= 'Z') || (c >= '0' && c <= '9') || c == '/' ||
                 c == '.' || c == '_' || c == '-' || c == '+' || c == ',' || c == ':' || c == '@';
    if (!plain) return shellQuote(text);
  }
  return text;
}

std::string administratorScriptSource(const std::string& command) {
  std::string escaped;
  for (char c : command) {
    if (c == '\\') escaped += "\\\\";
    else if (c == '"') escaped += "\\\"";
    else escaped += c;
  }
  return kAdministratorScriptPrefix + escaped + kAdministratorScriptSuffix;
}

}  // namespace quorvelle
