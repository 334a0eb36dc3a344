#include "linux/keymap/property_text.h"

namespace quorvelle {
namespace {

constexpr std::string_view kPropertyName = "UserKeyMapping";
constexpr std::string_view kSourceName = "HIDKeyboardModifierMappingSrc";
constexpr std::string_view kDestinationName = "HIDKeyboardModifierMappingDst";
// Far more than any keyboard has keys; bounds the work a hostile text causes.
constexpr size_t kMaxEntries = 1024;
constexpr size_t kMaxTextLength = 1 << 20;

// A recursive-descent reader over the text. Every method returns false after
// setting error_ once; the first error wins.
class Reader {
 public:
  explicit Reader(std::string_view text) : text_(text) {}

  bool fail(const std::string& what) {
    if (error_.empty()) error_ = "at offset " + std::to_string(pos_) + ": " + what;
    return false;
  }
  const std::string& error() const { return error_; }

  void skipSpace() {
    while (pos_ < text_.size() && (text_[pos_] == ' ' || text_[pos_] == '\t' ||
                                   text_[pos_] == '\n' || text_[pos_] == '\r')) {
      ++pos_;
    }
  }

  bool atEnd() {
    skipSpace();
    return pos_ == text_.size();
  }

  bool peek(char c) {
    skipSpace();
    return pos_ < text_.size() && text_[pos_] == c;
  }

  bool expect(char c) {
    if (!peek(c)) return fail(std::string("expected '") + c + "'");
    ++pos_;
    return true;
  }

  // A JSON string without escapes: every name this property has is plain.
  bool readString(std::string* out) {
    if (!expect('"')) return false;
    size_t start = pos_;
    while (pos_ < text_.size() && text_[pos_] != '"') {
      if (text_[pos_] == '\\') return fail("escapes are not allowed in names");
      if (static_cast<unsigned char>(text_[pos_]) < 0x20) return fail("control character in a name");
      ++pos_;
    }
    if (pos_ == text_.size()) return fail("unterminated string");
    *out = std::string(text_.substr(start, pos_ - start));
    ++pos_;
    return true;
  }

  // Decimal or 0x-hexadecimal, unsigned, up to 64 bits.
  bool readNumber(std::uint64_t* out) {
    skipSpace();
    size_t start = pos_;
    unsigned base = 10;
    if (pos_ + 1 < text_.size() && text_[pos_] == '0' && (text_[pos_ + 1] == 'x' || text_[pos_ + 1] == 'X')) {
      base = 16;
      pos_ += 2;
    }
    std::uint64_t value = 0;
    size_t digits = 0;
    for (; pos_ < text_.size(); ++pos_, ++digits) {
      char c = text_[pos_];
      unsigned digit;
      if (c >= '0' && c <= '9') {
        digit = static_cast<unsigned>(c - '0');
      } else if (base == 16 && c >= 'a' && c <= 'f') {
        digit = static_cast<unsigned>(c - 'a' + 10);
      } else if (base == 16 && c >= 'A' && c <= 'F') {
        digit = static_cast<unsigned>(c - 'A' + 10);
      } else {
        break;
      }
      if (value > (UINT64_MAX - digit) / base) {
        pos_ = start;
        return fail("number does not fit in 64 bits");
      }
      value = value * base + digit;
    }
    if (digits == 0) {
      pos_ = start;
      return fail("expected a number");
    }
    if (base == 10 && digits > 1 && text_[start] == '0') {
      pos_ = start;
      return fail("decimal numbers must not have leading zeros");
    }
    *out = value;
    return true;
  }

  bool readEntry(UsageMapping* entry) {
    if (!expect('{')) return false;
    bool haveSource = false, haveDestination = false;
    for (;;) {
      skipSpace();
      size_t namePos = pos_;
      std::string name;
      std::uint64_t value = 0;
      if (!readString(&name) || !expect(':') || !readNumber(&value)) return false;
      bool* seen = nullptr;
      if (name == kSourceName) {
        seen = &haveSource;
        entry->source = value;
      } else if (name == kDestinationName) {
        seen = &haveDestination;
        entry->destination = value;
      } else {
        pos_ = namePos;
        return fail("unknown key \"" + name + "\"");
      }
      if (*seen) {
        pos_ = namePos;
        return fail("\"" + name + "\" given twice");
      }
      *seen = true;
      if (!peek(',')) break;
      ++pos_;
    }
    if (!peek('}')) return fail("expected ',' or '}'");
    ++pos_;
    if (!haveSource) return fail(std::string("entry without \"") + std::string(kSourceName) + "\"");
    if (!haveDestination) return fail(std::string("entry without \"") + std::string(kDestinationName) + "\"");
    return true;
  }

  bool readList(std::vector<UsageMapping>* out) {
    if (!expect('[')) return false;
    if (peek(']')) {
      ++pos_;
      return true;
    }
    for (;;) {
      if (out->size() == kMaxEntries) return fail("more than " + std::to_string(kMaxEntries) + " entries");
      UsageMapping entry;
      if (!readEntry(&entry)) return false;
      out->push_back(entry);
      if (!peek(',')) break;
      ++pos_;
    }
    if (!peek(']')) return fail("expected ',' or ']'");
    ++pos_;
    return true;
  }

  bool readProperty(std::vector<UsageMapping>* out) {
    if (!expect('{')) return false;
    skipSpace();
    size_t namePos = pos_;
    std::string name;
    if (!readString(&name)) return false;
    if (name != kPropertyName) {
      pos_ = namePos;
      return fail("unknown property \"" + name + "\" (only \"UserKeyMapping\" can be set)");
    }
    if (!expect(':') || !readList(out)) return false;
    if (peek(',')) return fail("only one property can be set");
    return expect('}');
  }

 private:
  std::string_view text_;
  size_t pos_ = 0;
  std::string error_;
};

std::optional<std::vector<UsageMapping>> parse(std::string_view text, std::string* error) {
  if (text.size() > kMaxTextLength) {
    *error = "text longer than " + std::to_string(kMaxTextLength) + " bytes";
    return std::nullopt;
  }
  Reader reader(text);
  std::vector<UsageMapping> mappings;
  if (!reader.readProperty(&mappings)) {
    *error = reader.error();
    return std::nullopt;
  }
  if (!reader.atEnd()) {
    reader.fail("unexpected text after the end");
    *error = reader.error();
    return std::nullopt;
  }
  return mappings;
}

}  // namespace

std::optional<std::vector<UsageMapping>> parseUserKeyMappingProperty(std::string_view text,
                                                                     std::string* error) {
  return parse(text, error);
}

}  // namespace quorvelle
