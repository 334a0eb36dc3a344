#include "linux/files/json_defaults_store.h"

#include <algorithm>
#include <cstdio>
#include <cstdlib>
#include <ctime>
#include <sys/stat.h>

#include "linux/files/file_util.h"

namespace quorvelle {
namespace {

// Containers nested deeper are refused: a settings domain is flat, and the
// bound keeps memory and every recursive walk (writing, destroying) small.
constexpr int kMaxNesting = 64;

// How deep objects and arrays nest in JSON text, strings skipped. Exact for
// valid JSON, which is all that the parser lets through afterwards. (The
// parser's own callback could count too, but it rescans the parent on every
// closing brace: a minute for a megabyte of empty objects.)
int nestingDepth(const std::string& text) {
  int depth = 0, deepest = 0;
  bool inString = false;
  for (size_t i = 0; i < text.size(); ++i) {
    const char c = text[i];
    if (inString) {
      if (c == '\\') ++i;
      else if (c == '"') inString = false;
    } else if (c == '"') {
      inString = true;
    } else if (c == '[' || c == '{') {
      deepest = std::max(deepest, ++depth);
    } else if (c == ']' || c == '}') {
      --depth;
    }
  }
  return deepest;
}

}  // namespace

JsonDefaultsStore::JsonDefaultsStore(std::string path, Log& log) : path_(std::move(path)), log_(log) {
  load();
}

std::string JsonDefaultsStore::pathForDomain(const std::string& domain) {
  const char* configHome = std::getenv("XDG_CONFIG_HOME");
  std::string folder = (configHome && configHome[0] == '/') ? configHome : homeDirectory() + "/.config";
  return folder + "/" + domain + ".json";
}

void JsonDefaultsStore::load() {
  std::string error;
  bool missing = false;
  std::optional<std::string> text = readFile(path_, &error, &missing);
  if (!text) {
    if (!missing) moveAside(error);
    return;
  }
  if (nestingDepth(*text) > kMaxNesting) {
    moveAside("nested deeper than " + std::to_string(kMaxNesting) + " levels");
    return;
  }
  nlohmann::json parsed = nlohmann::json::parse(*text, nullptr, /*allow_exceptions=*/false);
  if (parsed.is_discarded()) {
    moveAside("not valid JSON");
    return;
  }
  if (!parsed.is_object()) {
    moveAside("not a JSON object");
    return;
  }
  values_ = std::move(parsed);
}

void JsonDefaultsStore::moveAside(const std::string& reason) {
  char stamp[32];
  std::time_t now = std::time(nullptr);
  std::tm local{};
  localtime_r(&now, &local);
  std::strftime(stamp, sizeof stamp, "%Y%m%d-%H%M%S", &local);
  std::string aside = path_ + ".unreadable-" + stamp;
  struct stat info;
  for (int n = 2; lstat(aside.c_str(), &info) == 0; ++n) {
    aside = path_ + ".unreadable-" + stamp + "-" + std::to_string(n);
  }
  if (std::rename(path_.c_str(), aside.c_str()) == 0) {
    log_.write("Quorvelle: preferences file " + path_ + " could not be read (" + reason +
               "); moved it to " + aside + " and started from defaults");
  } else {
    readOnly_ = true;
    log_.write("Quorvelle: preferences file " + path_ + " could not be read (" + reason +
               ") nor moved aside; changes will not be saved");
  }
}

std::optional<PropertyValue> JsonDefaultsStore::object(const std::string& key) const {
  auto it = values_.find(key);
  if (it == values_.end()) return std::nullopt;
  const nlohmann::json& value = *it;
  switch (value.type()) {
    case nlohmann::json::value_t::boolean: return PropertyValue(value.get<bool>());
    case nlohmann::json::value_t::number_integer: return PropertyValue(value.get<std::int64_t>());
    case nlohmann::json::value_t::number_unsigned: return PropertyValue(value.get<std::uint64_t>());
    case nlohmann::json::value_t::number_float: return PropertyValue(value.get<double>());
    case nlohmann::json::value_t::string: return PropertyValue(value.get<std::string>());
    default: return PropertyValue(std::monostate{});
  }
}

void JsonDefaultsStore::setBool(const std::string& key, bool value) {
  values_[key] = value;
  save();
}

void JsonDefaultsStore::setUnsigned(const std::string& key, std::uint64_t value) {
  values_[key] = value;
  save();
}

void JsonDefaultsStore::remove(const std::string& key) {
  if (values_.erase(key) == 0) return;
  save();
}

void JsonDefaultsStore::save() {
  if (readOnly_) return;
  std::string error;
  // Compact: values of others are written back on every change, and
  // indentation would grow with their nesting.
  if (!writeFileAtomically(path_, values_.dump() + "\n", &error, 0600)) {
    log_.write("Quorvelle: failed to save preferences: " + error);
  }
}

}  // namespace quorvelle
