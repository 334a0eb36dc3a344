#pragma once

#include <string>
#include <vector>

#include "platform/appcast_feed.h"

namespace quorvelle {

// What a feed says about the running build.
struct FeedVerdict {
  enum Kind {
    UpToDate,         // nothing newer (also a feed that lists no release yet)
    UpdateAvailable,  // `newest` is newer
    NoUsableItem,     // releases are listed, but none with a version
  };
  Kind kind = UpToDate;
  AppcastItem newest;
};

// Judges the feed's releases of the default channel (items of other channels,
// betas for example, are not offered) against the running build's version,
// which must be a valid version.
FeedVerdict judgeFeed(const std::vector<AppcastItem>& items, const std::string& currentVersion);

}  // namespace quorvelle
