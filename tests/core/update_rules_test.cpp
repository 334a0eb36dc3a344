// The updater's portable rules: versions, feed addresses, the verdict on a
// feed, and what the window says.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "update/feed_rules.h"
#include "update/feed_verdict.h"
#include "update/update_window_contents.h"
#include "update/version_compare.h"

namespace quorvelle {
namespace {

TEST(UpdateRules, VersionsCompareAsDottedNumbers) {
  const std::tuple<const char*, const char*, std::optional<int>> cases[] = {
      {"1000", "1001", -1}, {"10", "9", 1}, {"1.2", "1.2.0", 0}, {"1.10", "1.9", 1}, {"0001", "1", 0},
      {"99999999999999999999", "100000000000000000000", -1}, {"1000000", "999999", 1},
      {"", "1", std::nullopt}, {"1.", "1", std::nullopt}, {"1..2", "1", std::nullopt},
      {"1a", "1", std::nullopt}, {"-1", "1", std::nullopt}, {"1", " 1", std::nullopt},
      {"1.2-beta", "1", std::nullopt},
  };
  for (const auto& [a, b, order] : cases) {
    EXPECT_EQ(compareVersions(a, b), order) << a << " vs " << b;
    if (order) {
      EXPECT_EQ(compareVersions(b, a), -*order) << b << " vs " << a;
    }
  }
}

TEST(UpdateRules, OnlyHttpsFeedsExceptLoopbackHttpForTests) {
  // The address, then whether it is taken in production and in tests.
  const std::tuple<const char*, bool, bool> cases[] = {
      {"https://quorvelle.org/appcast.xml", true, true}, {"HTTPS://Quorvelle.org/appcast.xml", true, true},
      {"http://quorvelle.org/appcast.xml", false, false}, {"http://127.0.0.1:8080/appcast.xml", false, true},
      {"http://localhost/appcast.xml", false, true}, {"http://[::1]:9/appcast.xml", false, true},
      {"http://evil.example@127.0.0.1/feed", false, true},
      {"http://127.0.0.1@evil.example/feed", false, false},
      {"http://127.0.0.1.evil.example/feed", false, false}, {"https://", false, false},
      {"file:///etc/passwd", false, false}, {"ftp://quorvelle.org/appcast.xml", false, false},
      {"https://quorvelle.org/app cast.xml", false, false}, {"quorvelle.org/appcast.xml", false, false},
  };
  for (const auto& [url, production, tests] : cases) {
    std::string error;
    EXPECT_EQ(isAcceptableFeedURL(url, FeedSecurity::HttpsOnly, &error), production) << url;
    if (!production) {
      EXPECT_THAT(error, testing::HasSubstr(url));
    }
    EXPECT_EQ(isAcceptableFeedURL(url, FeedSecurity::AllowLoopbackHttpForTests, &error), tests) << url;
  }
  EXPECT_FALSE(isWebLink("javascript:alert(1)"));
  EXPECT_FALSE(isWebLink("file:///home"));
  EXPECT_TRUE(isWebLink("http://quorvelle.org/notes"));
  EXPECT_EQ(siteOf("https://quorvelle.org/feeds/appcast.xml?x=1"), "https://quorvelle.org/");
}

AppcastItem release(std::string version, std::string channel = "") {
  AppcastItem item;
  item.version = std::move(version);
  item.shortVersionString = "v" + item.version;
  item.channel = std::move(channel);
  return item;
}

TEST(UpdateRules, TheNewestDefaultChannelReleaseDecides) {
  const std::vector<AppcastItem> feed = {release("1002"), release("1010"), release("1005"), release("2000", "beta"),
                                         release("not a version")};
  FeedVerdict verdict = judgeFeed(feed, "1003");
  EXPECT_EQ(verdict.kind, FeedVerdict::UpdateAvailable);
  EXPECT_EQ(verdict.newest.version, "1010");
  EXPECT_EQ(judgeFeed(feed, "1010").kind, FeedVerdict::UpToDate);
  EXPECT_EQ(judgeFeed(feed, "1011").kind, FeedVerdict::UpToDate) << "an older feed offers nothing";
  EXPECT_EQ(judgeFeed({}, "1").kind, FeedVerdict::UpToDate) << "no release yet";
  EXPECT_EQ(judgeFeed({release("3", "beta")}, "1").kind, FeedVerdict::UpToDate);
  EXPECT_EQ(judgeFeed({release(""), release("1.x")}, "1").kind, FeedVerdict::NoUsableItem);
}

TEST(UpdateRules, TheWindowSaysWhetherAndWhereToGetANewVersionAndOffersOnlyWebLinks) {
  AppcastItem item = release("1010");
  item.shortVersionString = "0.2.0";
  item.releaseNotesLink = "https://quorvelle.org/notes/0.2.0";
  item.link = "javascript:alert(1)";
  item.enclosureURL = "https://quorvelle.org/downloads/Quorvelle-0.2.0.tar.gz";
  UpdateWindowContent content = upToDateContent("0.1.0");
  EXPECT_EQ(content.headline + "\n" + content.message,
            "You're up to date\nQuorvelle 0.1.0 is currently the newest version available.");
  content = updateAvailableContent(item, "0.1.0", "https://quorvelle.org/appcast.xml");
  EXPECT_THAT(content.message, testing::HasSubstr("from https://quorvelle.org/downloads/Quorvelle-0.2.0.tar.gz"));
  ASSERT_EQ(content.links.size(), 2u);
  EXPECT_EQ(content.links[0].url, item.releaseNotesLink);
  EXPECT_EQ(content.links[1].url, item.enclosureURL);

  AppcastItem bare = release(std::string(300, '9'));
  bare.shortVersionString = "";
  content = updateAvailableContent(bare, "0.1.0", "https://quorvelle.org/appcast.xml");
  EXPECT_THAT(content.message, testing::HasSubstr("from https://quorvelle.org/ "));
  EXPECT_LT(content.message.size(), 300u) << "a runaway version is clipped";
  ASSERT_EQ(content.links.size(), 1u);
  EXPECT_EQ(content.links[0].title, "Download Page");
}

}  // namespace
}  // namespace quorvelle
