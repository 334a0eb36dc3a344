#include "linux/keymap/property_text.h"

#include <gtest/gtest.h>

namespace quorvelle {
namespace {

const UsageMapping kCapsToF18{0x700000039, 0x70000006D};

TEST(PropertyTextTest, ReadsWellFormedVariants) {
  struct Case {
    const char* text;
    std::vector<UsageMapping> expected;
  } cases[] = {
      {" {\n\t\"UserKeyMapping\" : [ { \"HIDKeyboardModifierMappingSrc\" : 0x700000039 ,\r\n"
       " \"HIDKeyboardModifierMappingDst\" : 0x70000006d } ] } \n",
       {kCapsToF18}},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingDst":30064771181,"HIDKeyboardModifierMappingSrc":30064771129}]})",
       {kCapsToF18}},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":0X700000004,"HIDKeyboardModifierMappingDst":0x700000005},)"
       R"({"HIDKeyboardModifierMappingSrc":0x700000005,"HIDKeyboardModifierMappingDst":0x700000004}]})",
       {{0x700000004, 0x700000005}, {0x700000005, 0x700000004}}},
      {R"({"UserKeyMapping":[ ]})", {}},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":0,"HIDKeyboardModifierMappingDst":18446744073709551615}]})",
       {{0, UINT64_MAX}}},
  };
  for (const Case& c : cases) {
    std::string error;
    auto parsed = parseUserKeyMappingProperty(c.text, &error);
    ASSERT_TRUE(parsed) << c.text << ": " << error;
    EXPECT_EQ(*parsed, c.expected) << c.text;
  }
}

TEST(PropertyTextTest, NamesWhatIsWrongInMalformedTexts) {
  struct Case {
    const char* text;
    const char* error;
  } cases[] = {
      {"", "at offset 0: expected '{'"},
      {R"({"UserKeyMapping":[]})" "x", "unexpected text after the end"},
      {R"({"UserKeyMapping":[])", "expected '}'"},
      {R"({"UserKeyMapping":[{}]})", "expected '\"'"},
      {R"({"Other":[]})", "unknown property \"Other\""},
      {R"({"UserKeyMapping":[],"Other":[]})", "only one property"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":0x700000039}]})", "entry without \"HIDKeyboardModifierMappingDst\""},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingDst":0x700000039}]})", "entry without \"HIDKeyboardModifierMappingSrc\""},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":1,"HIDKeyboardModifierMappingSrc":2}]})", "given twice"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":1,"Flavour":2}]})", "at offset 54: unknown key \"Flavour\""},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":"0x700000039","HIDKeyboardModifierMappingDst":1}]})", "expected a number"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":0x,"HIDKeyboardModifierMappingDst":1}]})", "expected a number"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":-1,"HIDKeyboardModifierMappingDst":1}]})", "expected a number"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":0x10000000000000000,"HIDKeyboardModifierMappingDst":1}]})", "does not fit in 64 bits"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":18446744073709551616,"HIDKeyboardModifierMappingDst":1}]})", "does not fit in 64 bits"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":007,"HIDKeyboardModifierMappingDst":1}]})", "leading zeros"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":1.5,"HIDKeyboardModifierMappingDst":1}]})", "at offset 53: expected ',' or '}'"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":1,"HIDKeyboardModifierMappingDst":1} {}]})", "expected ',' or ']'"},
      {R"({"UserKeyMapping":[{"HIDKeyboardModifierMappingSrc":1,"HIDKeyboardModifierMappingDst":1},]})", "expected '{'"},
      {R"({"User\"KeyMapping":[]})", "escapes are not allowed"},
      {"{\"UserKeyMapping", "unterminated string"},
  };
  for (const Case& c : cases) {
    std::string error;
    EXPECT_FALSE(parseUserKeyMappingProperty(c.text, &error)) << c.text;
    EXPECT_NE(error.find(c.error), std::string::npos) << c.text << " gave: " << error;
  }
}

TEST(PropertyTextTest, BoundsTheWorkOfHugeTexts) {
  std::string entry = R"({"HIDKeyboardModifierMappingSrc":1,"HIDKeyboardModifierMappingDst":2})";
  std::string text = "{\"UserKeyMapping\":[" + entry;
  for (int i = 1; i < 1025; ++i) text += "," + entry;
  text += "]}";
  std::string error;
  EXPECT_FALSE(parseUserKeyMappingProperty(text, &error));
  EXPECT_NE(error.find("more than 1024 entries"), std::string::npos) << error;
  EXPECT_FALSE(parseUserKeyMappingProperty(std::string(2 << 20, ' '), &error));
  EXPECT_NE(error.find("longer than"), std::string::npos) << error;
}

}  // namespace
}  // namespace quorvelle
