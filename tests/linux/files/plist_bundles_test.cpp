// Reading bundles' information lists from disk.
#include "linux/files/plist_bundles.h"

#include <gtest/gtest.h>

#include "linux/files/plist_reader.h"
#include "update/feed_rules.h"
#include "update/feed_updater.h"

#ifndef QUORVELLE_BUILT_BUNDLE
#error "the build passes the path of the bundle it made"
#endif

namespace quorvelle {
namespace {

// Its identifier and versions are read by the application tests and by the
// package test's `quorvelle --version`.
TEST(PlistBundles, TheBuiltBundleNamesAnHttpsFeed) {
  std::optional<std::string> feed = PlistBundles(QUORVELLE_BUILT_BUNDLE).mainInfoString(FeedUpdater::kFeedURLKey);
  std::string error;
  EXPECT_TRUE(feed && isAcceptableFeedURL(*feed, FeedSecurity::HttpsOnly, &error)) << error;
}

TEST(PlistReader, TypesEntitiesAndNesting) {
  std::optional<InfoDictionary> info = parseInfoPlist(R"(<?xml version="1.0" encoding="UTF-8"?>
<!DOCTYPE plist PUBLIC "-//Apple//DTD PLIST 1.0//EN" "http://www.apple.com/DTDs/PropertyList-1.0.dtd">
<plist version="1.0">
<!-- a comment -->
<dict>
  <key>Name</key><string>A &amp; B &lt;c&gt;</string>
  <key>Empty</key><string/>
  <key>Count</key><integer>-42</integer>
  <key>Big</key><integer>18446744073709551615</integer>
  <key>Ratio</key><real>1.5</real>
  <key>On</key><true/>
  <key>Off</key><false/>
  <key>List</key><array><string>x</string><dict><key>k</key><string>v</string></dict></array>
  <key>Inner</key><dict><key>CFBundleVersion</key><string>9</string></dict>
</dict>
</plist>)");
  ASSERT_TRUE(info);
  EXPECT_EQ(info->at("Name"), PropertyValue(std::string("A & B <c>")));
  EXPECT_EQ(info->at("Empty"), PropertyValue(std::string()));
  EXPECT_EQ(info->at("Count"), PropertyValue(std::int64_t{-42}));
  EXPECT_EQ(info->at("Big"), PropertyValue(std::uint64_t{18446744073709551615u}));
  EXPECT_EQ(info->at("Ratio"), PropertyValue(1.5));
  EXPECT_EQ(info->at("On"), PropertyValue(true));
  EXPECT_EQ(info->at("Off"), PropertyValue(false));
  EXPECT_EQ(info->at("List"), PropertyValue(std::monostate{}));
  EXPECT_EQ(info->at("Inner"), PropertyValue(std::monostate{}));
  EXPECT_EQ(info->count("CFBundleVersion"), 0u) << "nested keys stay nested";
}

TEST(PlistReader, MalformedInputReadsAsAbsent) {
  const char* broken[] = {
      "",
      "not xml at all",
      "<plist><dict><key>A</key><string>x</string></dict>",  // no closing plist
      "<plist><array></array></plist>",                      // top is not a dictionary
      "<plist><dict><key>A</key></dict></plist>",            // key without value
      "<plist><dict><string>x</string></dict></plist>",      // value without key
      "<plist><dict><key>A</key><integer>12x</integer></dict></plist>",
      "<plist><dict><key>A</key><integer>99999999999999999999999</integer></dict></plist>",
      "<plist><dict><key>A</key><string>&bogus;</string></dict></plist>",
      "<plist><dict><key>A</key><string>unterminated",
      "<plist><dict><key>A</key><wat>1</wat></dict></plist>",
  };
  for (const char* text : broken) EXPECT_FALSE(parseInfoPlist(text)) << text;
  // Deep nesting is refused rather than recursed into without bound.
  std::string deep = "<plist><dict><key>A</key>";
  for (int i = 0; i < 10000; ++i) deep += "<array>";
  EXPECT_FALSE(parseInfoPlist(deep));
}

}  // namespace
}  // namespace quorvelle
