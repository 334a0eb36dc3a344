#pragma once

#include <functional>
#include <optional>
#include <string>
#include <vector>

namespace quorvelle {

// One release listed by an update feed (an RSS appcast). Fields the feed does
// not give are empty.
struct AppcastItem {
  std::string title;
  std::string version;             // sparkle:version, the build number
  std::string shortVersionString;  // sparkle:shortVersionString, for people
  std::string releaseNotesLink;
  std::string link;                // the release's web page
  std::string enclosureURL;        // the download
  std::string channel;             // empty for the default channel
};

enum class FeedFailure {
  Unreachable,  // no answer, an error status, a transfer cut short or too large
  Malformed,    // an answer that is not an appcast
};

struct FeedError {
  FeedFailure failure = FeedFailure::Unreachable;
  std::string detail;  // what went wrong, for people
};

// Downloads and reads update feeds.
class AppcastFeed {
 public:
  virtual ~AppcastFeed() = default;
  using Completion = std::function<void(std::optional<std::vector<AppcastItem>> items, const FeedError& error)>;
  // Fetches the feed at the URL, which the caller has checked. The completion
  // runs exactly once, later, on the main thread: with the items (possibly
  // none), or with nullopt and the error.
  virtual void fetch(const std::string& url, Completion completion) = 0;
};

}  // namespace quorvelle
