#include "update/feed_updater.h"

#include "update/feed_verdict.h"
#include "update/update_window_contents.h"
#include "update/version_compare.h"

namespace quorvelle {

std::unique_ptr<UpdaterController> FeedUpdater::createController(UpdaterDelegate& delegate) {
  return std::make_unique<FeedUpdaterController>(services_, security_, delegate);
}

FeedUpdaterController::FeedUpdaterController(const FeedUpdaterServices& services, FeedSecurity security,
                                             UpdaterDelegate& delegate)
    : services_(services),
      security_(security),
      delegate_(delegate),
      automatic_(services.defaults, services.runLoop, services.clock, [this] { checkInBackground(); }) {
  services_.window.setHandlers([this] { windowGotAttention(); }, [this] { windowClosed(); });
}

FeedUpdaterController::~FeedUpdaterController() {
  ++*generation_;
  services_.window.setHandlers({}, {});
}

void FeedUpdaterController::startUpdater() { automatic_.start(); }

void FeedUpdaterController::checkForUpdates() {
  if (session_ == Session::None) {
    beginCheck(/*userInitiated=*/true);
  } else if (session_ == Session::Checking && !userInitiated_) {
    // The user asks while a background check runs: it becomes theirs.
    userInitiated_ = true;
    show(checkingContent(), true);
  } else {
    show(shown_, true);
  }
}

void FeedUpdaterController::checkInBackground() {
  // A session in progress is as good as a check.
  if (session_ != Session::None) {
    automatic_.recordCheck();
    return;
  }
  beginCheck(/*userInitiated=*/false);
}

void FeedUpdaterController::beginCheck(bool userInitiated) {
  session_ = Session::Checking;
  userInitiated_ = userInitiated;
  awaitingAttention_ = false;
  const int generation = ++*generation_;
  automatic_.recordCheck();
  if (userInitiated) show(checkingContent(), true);

  std::optional<std::string> url = services_.bundles.mainInfoString(FeedUpdater::kFeedURLKey);
  std::string error;
  if (!url || url->empty()) return fail(update_texts::kNoFeed, "");
  if (!isAcceptableFeedURL(*url, security_, &error)) return fail(error, "");
  feedURL_ = *url;
  std::weak_ptr<int> current = generation_;
  services_.feed.fetch(*url, [this, current, generation](std::optional<std::vector<AppcastItem>> items,
                                                         const FeedError& error) {
    std::shared_ptr<int> live = current.lock();
    if (live && *live == generation) finishCheck(std::move(items), error);
  });
}

void FeedUpdaterController::finishCheck(std::optional<std::vector<AppcastItem>> items, const FeedError& error) {
  if (!items) {
    return fail(error.failure == FeedFailure::Malformed ? update_texts::kMalformed : update_texts::kUnreachable,
                error.detail);
  }
  const std::string current = services_.bundles.mainInfoString("CFBundleVersion").value_or("");
  if (!isVersion(current)) return fail(update_texts::kNoBuildNumber, current);

  FeedVerdict verdict = judgeFeed(*items, current);
  switch (verdict.kind) {
    case FeedVerdict::NoUsableItem:
      return fail(update_texts::kNoUsableItem, "");
    case FeedVerdict::UpToDate:
      if (!userInitiated_) {
        session_ = Session::None;
        return;
      }
      session_ = Session::Showing;
      return show(upToDateContent(displayedVersion()), true);
    case FeedVerdict::UpdateAvailable: {
      delegate_.standardUserDriverWillHandleShowingUpdate(userInitiated_);
      session_ = Session::Showing;
      awaitingAttention_ = !userInitiated_;
      // A gentle reminder appears without taking the focus from the user's work.
      const bool activate = userInitiated_ || !delegate_.supportsGentleScheduledUpdateReminders();
      return show(updateAvailableContent(verdict.newest, displayedVersion(), feedURL_), activate);
    }
  }
}

void FeedUpdaterController::fail(const std::string& message, const std::string& detail) {
  if (!userInitiated_) {
    services_.log.write("Quorvelle: update check failed: " + message + (detail.empty() ? "" : " " + detail));
    session_ = Session::None;
    return;
  }
  session_ = Session::Showing;
  show(errorContent(message, detail), true);
}

void FeedUpdaterController::show(const UpdateWindowContent& content, bool activate) {
  shown_ = content;
  services_.window.show(content, activate);
}

void FeedUpdaterController::windowGotAttention() {
  if (session_ != Session::Showing || !awaitingAttention_) return;
  awaitingAttention_ = false;
  delegate_.standardUserDriverDidReceiveUserAttentionForUpdate();
}

void FeedUpdaterController::windowClosed() {
  if (session_ == Session::None) return;
  // A check still under way ends with the window; its answer is dropped.
  ++*generation_;
  session_ = Session::None;
  awaitingAttention_ = false;
  delegate_.standardUserDriverWillFinishUpdateSession();
}

std::string FeedUpdaterController::displayedVersion() const {
  std::optional<std::string> version = services_.bundles.mainInfoString("CFBundleShortVersionString");
  if (version && !version->empty()) return *version;
  return services_.bundles.mainInfoString("CFBundleVersion").value_or("");
}

}  // namespace quorvelle
