#pragma once

#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "platform/appcast_feed.h"
#include "platform/bundle.h"
#include "platform/defaults_store.h"
#include "platform/log.h"
#include "platform/run_loop.h"
#include "platform/update_window.h"
#include "platform/updater.h"
#include "platform/wall_clock.h"
#include "update/automatic_checks.h"
#include "update/feed_rules.h"

namespace quorvelle {

// What the updater works with. `defaults` is the updater's own store.
struct FeedUpdaterServices {
  Bundles& bundles;
  DefaultsStore& defaults;
  RunLoop& runLoop;
  WallClock& clock;
  AppcastFeed& feed;
  UpdateWindow& window;
  Log& log;
};

// The updater: reads the appcast named by the bundle's SUFeedURL, compares
// its newest release with the bundle's CFBundleVersion, and tells the user in
// its own window. Installing in place is not done yet; the window says where
// the new version is.
class FeedUpdater : public Updater {
 public:
  explicit FeedUpdater(FeedUpdaterServices services, FeedSecurity security = FeedSecurity::HttpsOnly)
      : services_(services), security_(security) {}

  std::unique_ptr<UpdaterController> createController(UpdaterDelegate& delegate) override;

  static constexpr char kFeedURLKey[] = "SUFeedURL";

 private:
  FeedUpdaterServices services_;
  FeedSecurity security_;
};

// One update session at a time: a check, then what the window shows until the
// user closes it. A check the user asked for shows every outcome, failures
// included; a background check shows only a new version and passes over
// failures with a line in the log. Nothing is retried before the next day's
// check.
class FeedUpdaterController : public UpdaterController {
 public:
  FeedUpdaterController(const FeedUpdaterServices& services, FeedSecurity security, UpdaterDelegate& delegate);
  ~FeedUpdaterController() override;

  void startUpdater() override;
  void checkForUpdates() override;
  bool automaticallyChecksForUpdates() const override { return automatic_.enabled(); }
  void setAutomaticallyChecksForUpdates(bool value) override { automatic_.setEnabled(value); }

  bool sessionInProgress() const { return session_ != Session::None; }

 private:
  enum class Session { None, Checking, Showing };

  void checkInBackground();
  void beginCheck(bool userInitiated);
  void finishCheck(std::optional<std::vector<AppcastItem>> items, const FeedError& error);
  void fail(const std::string& message, const std::string& detail);
  void show(const UpdateWindowContent& content, bool activate);
  void windowGotAttention();
  void windowClosed();
  std::string displayedVersion() const;

  FeedUpdaterServices services_;
  FeedSecurity security_;
  UpdaterDelegate& delegate_;
  AutomaticChecks automatic_;
  Session session_ = Session::None;
  bool userInitiated_ = false;
  // A background session showing a new version that the user has not looked at yet.
  bool awaitingAttention_ = false;
  UpdateWindowContent shown_;
  std::string feedURL_;
  // Tells a fetch's completion whether its session is still the current one.
  std::shared_ptr<int> generation_ = std::make_shared<int>(0);
};

}  // namespace quorvelle
