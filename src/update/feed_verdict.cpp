#include "update/feed_verdict.h"

#include "update/version_compare.h"

namespace quorvelle {

FeedVerdict judgeFeed(const std::vector<AppcastItem>& items, const std::string& currentVersion) {
  const AppcastItem* newest = nullptr;
  bool listsReleases = false;
  for (const AppcastItem& item : items) {
    if (!item.channel.empty()) continue;
    listsReleases = true;
    if (!isVersion(item.version)) continue;
    if (!newest || compareVersions(item.version, newest->version).value_or(0) > 0) newest = &item;
  }
  if (!newest) return {listsReleases ? FeedVerdict::NoUsableItem : FeedVerdict::UpToDate, {}};
  if (compareVersions(newest->version, currentVersion).value_or(0) > 0) {
    return {FeedVerdict::UpdateAvailable, *newest};
  }
  return {FeedVerdict::UpToDate, *newest};
}

}  // namespace quorvelle
