#include "linux/files/plist_reader.h"

#include <cerrno>
#include <cstdlib>
#include <string_view>

namespace quorvelle {
namespace {

constexpr int kMaxDepth = 64;

// A cursor over the XML text that knows just enough of XML for property lists.
class PlistParser {
 public:
  explicit PlistParser(std::string_view text) : text_(text) {}

  std::optional<InfoDictionary> parse() {
    skipProlog();
    Tag plist;
    if (!readTag(&plist) || plist.name != "plist" || plist.closing) return std::nullopt;
    Tag top;
    if (!readTag(&top) || top.name != "dict" || top.closing) return std::nullopt;
    InfoDictionary dictionary;
    if (!top.selfClosing && !readDictionary(&dictionary, 1)) return std::nullopt;
    Tag end;
    if (!readTag(&end) || end.name != "plist" || !end.closing) return std::nullopt;
    return dictionary;
  }

 private:
  struct Tag {
    std::string name;
    bool closing = false;
    bool selfClosing = false;
  };

  void skipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' || text_[pos_] == '\n' ||
                                   text_[pos_] == '\r'))
      ++pos_;
  }

  // Skips the XML declaration, document type and comments before the root.
  void skipProlog() {
    for (;;) {
      skipSpace();
      if (text_.substr(pos_, 2) == "<?") {
        skipPast("?>");
      } else if (text_.substr(pos_, 4) == "<!--") {
        skipPast("-->");
      } else if (text_.substr(pos_, 2) == "<!") {
        skipPast(">");
      } else {
        return;
      }
    }
  }

  void skipPast(std::string_view marker) {
    size_t at = text_.find(marker, pos_);
    pos_ = at == std::string_view::npos ? text_.size() : at + marker.size();
  }

  bool readTag(Tag* tag) {
    for (;;) {
      skipSpace();
      if (text_.substr(pos_, 4) != "<!--") break;
      skipPast("-->");
    }
    if (pos_ >= text_.size() || text_[pos_] != '<') return false;
    size_t end = text_.find('>', pos_);
    if (end == std::string_view::npos) return false;
    std::string_view inside = text_.substr(pos_ + 1, end - pos_ - 1);
    pos_ = end + 1;
    tag->closing = !inside.empty() && inside.front() == '/';
    if (tag->closing) inside.remove_prefix(1);
    tag->selfClosing = !inside.empty() && inside.back() == '/';
    if (tag->selfClosing) inside.remove_suffix(1);
    size_t nameEnd = inside.find_first_of(" \t\r\n");
    tag->name = std::string(inside.substr(0, nameEnd));
    return !tag->name.empty();
  }

  // Character data up to the closing tag of the element, entities decoded.
  bool readText(const std::string& element, std::string* out) {
    size_t end = text_.find('<', pos_);
    if (end == std::string_view::npos) return false;
    if (!decode(text_.substr(pos_, end - pos_), out)) return false;
    pos_ = end;
    Tag close;
    return readTag(&close) && close.closing && close.name == element;
  }

  static bool decode(std::string_view raw, std::string* out) {
    out->clear();
    for (size_t i = 0; i < raw.size(); ++i) {
      if (raw[i] != '&') {
        *out += raw[i];
        continue;
      }
      size_t semi = raw.find(';', i);
      if (semi == std::string_view::npos) return false;
      std::string_view entity = raw.substr(i + 1, semi - i - 1);
      if (entity == "amp") *out += '&';
      else if (entity == "lt") *out += '<';
      else if (entity == "gt") *out += '>';
      else if (entity == "quot") *out += '"';
      else if (entity == "apos") *out += '\'';
      else return false;
      i = semi;
    }
    return true;
  }

  bool readDictionary(InfoDictionary* dictionary, int depth) {
    for (;;) {
      Tag tag;
      if (!readTag(&tag)) return false;
      if (tag.closing && tag.name == "dict") return true;
      if (tag.closing || tag.selfClosing || tag.name != "key") return false;
      std::string key;
      if (!readText("key", &key)) return false;
      PropertyValue value;
      if (!readValue(&value, depth)) return false;
      if (dictionary) (*dictionary)[key] = std::move(value);
    }
  }

  bool readArray(int depth) {
    for (;;) {
      size_t before = pos_;
      Tag tag;
      if (!readTag(&tag)) return false;
      if (tag.closing && tag.name == "array") return true;
      pos_ = before;
      PropertyValue ignored;
      if (!readValue(&ignored, depth)) return false;
    }
  }

  bool readValue(PropertyValue* value, int depth) {
    if (depth > kMaxDepth) return false;
    Tag tag;
    if (!readTag(&tag) || tag.closing) return false;
    if (tag.name == "true" || tag.name == "false") {
      *value = (tag.name == "true");
      if (tag.selfClosing) return true;
      Tag close;
      return readTag(&close) && close.closing && close.name == tag.name;
    }
    if (tag.selfClosing) {
      if (tag.name == "string") *value = std::string();
      else if (tag.name == "dict" || tag.name == "array" || tag.name == "data") *value = std::monostate{};
      else return false;
      return true;
    }
    if (tag.name == "dict") {
      *value = std::monostate{};
      return readDictionary(nullptr, depth + 1);
    }
    if (tag.name == "array") {
      *value = std::monostate{};
      return readArray(depth + 1);
    }
    std::string text;
    if (!readText(tag.name, &text)) return false;
    if (tag.name == "string") {
      *value = std::move(text);
      return true;
    }
    if (tag.name == "integer") return parseInteger(text, value);
    if (tag.name == "real") {
      char* end = nullptr;
      errno = 0;
      double number = std::strtod(text.c_str(), &end);
      if (text.empty() || *end != '\0' || errno != 0) return false;
      *value = number;
      return true;
    }
    if (tag.name == "date" || tag.name == "data") {
      *value = std::monostate{};
      return true;
    }
    return false;
  }

  static bool parseInteger(const std::string& text, PropertyValue* value) {
    if (text.empty()) return false;
    char* end = nullptr;
    errno = 0;
    if (text[0] == '-') {
      long long number = std::strtoll(text.c_str(), &end, 10);
      if (*end != '\0' || errno != 0) return false;
      *value = static_cast<std::int64_t>(number);
    } else {
      unsigned long long number = std::strtoull(text.c_str(), &end, 10);
      if (*end != '\0' || errno != 0) return false;
      if (number <= static_cast<unsigned long long>(INT64_MAX)) *value = static_cast<std::int64_t>(number);
      else *value = static_cast<std::uint64_t>(number);
    }
    return true;
  }

  std::string_view text_;
  size_t pos_ = 0;
};

}  // namespace

std::optional<InfoDictionary> parseInfoPlist(const std::string& xml) { return PlistParser(xml).parse(); }

}  // namespace quorvelle
