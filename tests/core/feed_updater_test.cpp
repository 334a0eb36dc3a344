// The updater behind the update controller: the daily background check, one
// session at a time, what lives across runs, and the badge and activation
// policy around them. What a user check shows for each kind of feed is read
// over HTTP in the Qt updater test.
#include "update/feed_updater.h"

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "sim/sim_appcast_feed.h"
#include "sim/sim_application.h"
#include "sim/sim_run_loop.h"
#include "sim/sim_services.h"
#include "sim/sim_update_window.h"
#include "sim/sim_wall_clock.h"
#include "update/update_controller.h"
#include "update/update_window_contents.h"

namespace quorvelle {
namespace {

using testing::ElementsAre;

constexpr double kHour = 3600, kDay = 24 * kHour;

AppcastItem release(std::string version) {
  AppcastItem item;
  item.version = std::move(version);
  item.link = "https://quorvelle.org/download";
  return item;
}

struct FeedUpdaterFixture : testing::Test {
  FeedUpdaterFixture() {
    bundles.infos[bundles.mainPath] = {{"SUFeedURL", std::string("https://quorvelle.org/appcast.xml")},
                                       {"CFBundleVersion", std::string("1000")},
                                       {"CFBundleShortVersionString", std::string("0.1.0")}};
  }

  // A run of the application: its update controller around a fresh updater.
  struct Run {
    explicit Run(FeedUpdaterFixture& f)
        : updater({f.bundles, f.updaterDefaults, f.loop, f.clock, f.feed, f.window, f.log},
                  FeedSecurity::HttpsOnly),
          updates(f.appDefaults, updater, f.application, f.activation) {
      updates.controller().startUpdater();
    }
    FeedUpdater updater;
    UpdateController updates;
  };

  const std::string& headline() const { return window.current().headline; }

  sim::SimRunLoop loop;
  sim::SimWallClock clock{loop};
  sim::MemoryDefaultsStore appDefaults;
  sim::MemoryDefaultsStore updaterDefaults;
  sim::SimBundles bundles;
  sim::SimAppcastFeed feed;
  sim::SimUpdateWindow window;
  sim::RecordingLog log;
  sim::SimApplication application;
  ActivationPolicyRules activation{application, loop};
};

TEST_F(FeedUpdaterFixture, BackgroundChecksAreDailyQuietAndNeverRetried) {
  Run run(*this);
  loop.advance(kDay - 1);
  EXPECT_TRUE(feed.requests.empty()) << "a fresh copy waits a day";
  loop.advance(1);
  ASSERT_EQ(feed.pending.size(), 1u);
  feed.answer({release("1000")});
  EXPECT_TRUE(window.shown.empty());

  loop.advance(kDay);
  ASSERT_EQ(feed.pending.size(), 1u);
  feed.failWith(FeedFailure::Unreachable, "Host not found");
  EXPECT_TRUE(window.shown.empty());
  EXPECT_THAT(log.lines, ElementsAre(
                             "Quorvelle: update check failed: The update server could not be reached. Host not found"));
  loop.advance(kDay - kHour);
  EXPECT_EQ(feed.requests.size(), 2u) << "no retry before the next day";

  loop.advance(kHour);
  ASSERT_EQ(feed.pending.size(), 1u);
  feed.answer({release("1001")});
  EXPECT_EQ(headline(), update_texts::kUpdateAvailable);
  EXPECT_EQ(window.activations, 0) << "a gentle reminder takes no focus";
  EXPECT_EQ(application.badge, "1");
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Regular);

  window.userAttends();
  EXPECT_EQ(application.badge, "");
  application.setBadgeLabel("x");
  window.userAttends();
  EXPECT_EQ(application.badge, "x") << "attention is reported once";
  window.userCloses();
  EXPECT_EQ(application.badge, "");
  loop.drain();
  EXPECT_EQ(application.activationPolicy(), ActivationPolicy::Accessory);
}

// The relaunch marker lives in the application's preferences for exactly
// one run; the updater's setting and last check in its own store, for good.
TEST_F(FeedUpdaterFixture, WhatLivesAcrossRuns) {
  {
    Run first(*this);
    EXPECT_FALSE(first.updates.relaunchedAfterUpdate());
    EXPECT_TRUE(first.updates.automaticallyChecksForUpdates());
    std::vector<bool> seenDuringAnnouncement;
    Cancellable will = first.updates.objectWillChange().subscribe(
        [&] { seenDuringAnnouncement.push_back(first.updates.automaticallyChecksForUpdates()); });
    first.updates.setAutomaticallyChecksForUpdates(false);
    EXPECT_THAT(seenDuringAnnouncement, ElementsAre(true)) << "announced before it changes";
    loop.advance(3 * kDay);
    EXPECT_TRUE(feed.requests.empty());
    first.updates.updaterWillRelaunchApplication();
    EXPECT_EQ(appDefaults.values.at("relaunchedForUpdate"), PropertyValue(true));
  }
  EXPECT_EQ(updaterDefaults.values.at(AutomaticChecks::kEnabledKey), PropertyValue(false));

  Run second(*this);
  EXPECT_TRUE(second.updates.relaunchedAfterUpdate());
  EXPECT_TRUE(appDefaults.values.empty()) << "the marker is gone, and the setting was never there";
  EXPECT_FALSE(second.updates.automaticallyChecksForUpdates());
  second.updates.setAutomaticallyChecksForUpdates(true);
  loop.advance(0);
  EXPECT_EQ(feed.requests.size(), 1u) << "the last check was three days ago";
  feed.answer({});
  loop.advance(20 * kHour);
  Run third(*this);  // a restart keeps the last check time
  EXPECT_FALSE(third.updates.relaunchedAfterUpdate());
  loop.advance(3 * kHour);
  EXPECT_EQ(feed.requests.size(), 1u);
  loop.advance(1 * kHour);
  EXPECT_EQ(feed.requests.size(), 2u);
}

TEST_F(FeedUpdaterFixture, ClockChangesNeitherStallNorHurryTheDailyCheck) {
  Run run(*this);
  clock.offset = -10 * kDay;  // set back: the day counts from now
  loop.advance(kDay + kHour);
  ASSERT_EQ(feed.requests.size(), 1u);
  feed.answer({});
  clock.offset += 2 * kDay;  // a long suspend
  loop.advance(kHour);
  EXPECT_EQ(feed.requests.size(), 2u);
}

TEST_F(FeedUpdaterFixture, AFeedThatCannotBeFetchedIsShownToTheUserAndLoggedInTheBackground) {
  bundles.infos[bundles.mainPath]["SUFeedURL"] = std::string("http://quorvelle.org/appcast.xml");
  Run run(*this);
  run.updates.checkForUpdatesNow();
  EXPECT_TRUE(feed.requests.empty());
  EXPECT_EQ(headline(), update_texts::kUpdateError);
  EXPECT_THAT(window.current().message,
              testing::HasSubstr("does not use HTTPS: http://quorvelle.org/appcast.xml"));
  window.userCloses();

  bundles.infos[bundles.mainPath].erase("SUFeedURL");
  loop.advance(kDay);
  EXPECT_THAT(log.lines, ElementsAre(std::string("Quorvelle: update check failed: ") + update_texts::kNoFeed));
}

TEST_F(FeedUpdaterFixture, OneSessionAtATime) {
  Run run(*this);
  loop.advance(kDay);
  ASSERT_EQ(feed.pending.size(), 1u);
  run.updates.checkForUpdatesNow();
  EXPECT_EQ(headline(), update_texts::kChecking) << "the background check becomes the user's";
  EXPECT_EQ(feed.pending.size(), 1u);
  feed.answer({release("1001")});
  EXPECT_EQ(application.badge, "") << "no badge for what the user asked";

  run.updates.checkForUpdatesNow();
  EXPECT_EQ(feed.requests.size(), 1u) << "a shown session comes forward";
  EXPECT_EQ(headline(), update_texts::kUpdateAvailable);
  window.userCloses();

  run.updates.checkForUpdatesNow();
  window.userCloses();  // cancelled while checking
  feed.answer({release("1001")});
  EXPECT_EQ(headline(), update_texts::kChecking) << "the answer is dropped";
}

}  // namespace
}  // namespace quorvelle
