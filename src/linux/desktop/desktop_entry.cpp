#include "linux/desktop/desktop_entry.h"

#include <sstream>

namespace quorvelle {
namespace {

bool needsQuoting(const std::string& arg) {
  if (arg.empty()) return true;
  return arg.find_first_of(" \t\n\"'\\><~|&;$*?#()`") != std::string::npos;
}

std::string unescapeStringValue(const std::string& text) {
  std::string out;
  for (size_t i = 0; i < text.size(); ++i) {
    if (text[i] != '\\' || i + 1 == text.size()) {
      out += text[i];
      continue;
    }
    switch (char next = text[++i]) {
      case 's': out += ' '; break;
      case 'n': out += '\n'; break;
      case 't': out += '\t'; break;
      case 'r': out += '\r'; break;
      case '\\': out += '\\'; break;
      default: out += '\\'; out += next;
    }
  }
  return out;
}

}  // namespace

std::string desktopStringValue(const std::string& text) {
  std::string out;
  for (char c : text) {
    switch (c) {
      case '\\': out += "\\\\"; break;
      case '\n': out += "\\n"; break;
      case '\t': out += "\\t"; break;
      case '\r': out += "\\r"; break;
      default: out += c;
    }
  }
  return out;
}

std::string desktopExecValue(const std::vector<std::string>& argv) {
  std::string line;
  for (const std::string& arg : argv) {
    const bool quoted = needsQuoting(arg);
    std::string word;
    for (char c : arg) {
      if (c == '%') {
        word += "%%";
        continue;
      }
      // Inside double quotes these four are escaped with a backslash.
      if (quoted && (c == '"' || c == '`' || c == '$' || c == '\\')) word += '\\';
      word += c;
    }
    if (quoted) word = "\"" + word + "\"";
    if (!line.empty()) line += ' ';
    line += word;
  }
  return desktopStringValue(line);
}

std::optional<std::vector<std::string>> parseDesktopExec(const std::string& value) {
  const std::string line = unescapeStringValue(value);
  std::vector<std::string> argv;
  std::string word;
  bool inWord = false;
  for (size_t i = 0; i < line.size(); ++i) {
    char c = line[i];
    if (c == ' ' || c == '\t') {
      if (inWord) argv.push_back(word);
      word.clear();
      inWord = false;
    } else if (c == '"') {
      inWord = true;
      for (++i;; ++i) {
        if (i == line.size()) return std::nullopt;
        char q = line[i];
        if (q == '"') break;
        bool pair = i + 1 < line.size() && (q == '\\' || (q == '%' && line[i + 1] == '%'));
        if (pair) ++i;  // an escaped character, or %% for a percent sign
        word += line[i];
      }
    } else if (c == '%') {
      // %% is a percent sign; any other field code stands for nothing here.
      if (i + 1 < line.size() && line[i + 1] == '%') {
        word += '%';
        inWord = true;
      }
      ++i;
    } else {
      word += c;
      inWord = true;
    }
  }
  if (inWord) argv.push_back(word);
  if (argv.empty()) return std::nullopt;
  return argv;
}

std::map<std::string, std::string> desktopEntryGroup(const std::string& text, const std::string& group) {
  std::map<std::string, std::string> keys;
  std::istringstream lines(text);
  std::string line;
  bool inGroup = false;
  while (std::getline(lines, line)) {
    if (!line.empty() && line.back() == '\r') line.pop_back();
    if (line.empty() || line[0] == '#') continue;
    if (line[0] == '[') {
      inGroup = line == "[" + group + "]";
      continue;
    }
    size_t equals = line.find('=');
    if (!inGroup || equals == std::string::npos) continue;
    std::string key = line.substr(0, equals);
    while (!key.empty() && key.back() == ' ') key.pop_back();
    if (key.find('[') != std::string::npos) continue;
    size_t start = line.find_first_not_of(' ', equals + 1);
    // The first occurrence of a key counts.
    keys.emplace(key, start == std::string::npos ? "" : line.substr(start));
  }
  return keys;
}

}  // namespace quorvelle
