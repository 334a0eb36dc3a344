#include "update/update_window_contents.h"

#include "update/feed_rules.h"

namespace quorvelle {
namespace {

// Feed texts are shown as they come, but a runaway one would stretch the window.
std::string clipped(const std::string& text, size_t limit = 80) {
  return text.size() <= limit ? text : text.substr(0, limit) + "...";
}

UpdateWindowContent content(std::string headline, std::string message, std::string button) {
  UpdateWindowContent content;
  content.windowTitle = update_texts::kWindowTitle;
  content.headline = std::move(headline);
  content.message = std::move(message);
  content.buttonTitle = std::move(button);
  return content;
}

}  // namespace

UpdateWindowContent checkingContent() {
  UpdateWindowContent checking = content(update_texts::kChecking, "", update_texts::kCancel);
  checking.busy = true;
  return checking;
}

UpdateWindowContent upToDateContent(const std::string& currentVersion) {
  return content(update_texts::kUpToDate,
                 "Quorvelle " + clipped(currentVersion) + " is currently the newest version available.",
                 update_texts::kOK);
}

UpdateWindowContent updateAvailableContent(const AppcastItem& release, const std::string& currentVersion,
                                           const std::string& feedURL) {
  const std::string newVersion = release.shortVersionString.empty() ? release.version : release.shortVersionString;
  std::string where;
  for (const std::string& candidate : {release.link, release.enclosureURL}) {
    if (isWebLink(candidate)) {
      where = candidate;
      break;
    }
  }
  const bool hasNotes = isWebLink(release.releaseNotesLink);
  if (where.empty()) where = hasNotes ? release.releaseNotesLink : siteOf(feedURL);
  UpdateWindowContent update =
      content(update_texts::kUpdateAvailable,
              "Quorvelle " + clipped(newVersion) + " is now available—you have " + clipped(currentVersion) +
                  ".\n\nThis version cannot install updates itself yet. Download the new version from " + where +
                  " and install it in place of this one.",
              update_texts::kOK);
  if (hasNotes) update.links.push_back({update_texts::kReleaseNotes, release.releaseNotesLink});
  if (where != release.releaseNotesLink) update.links.push_back({update_texts::kDownloadPage, where});
  return update;
}

UpdateWindowContent errorContent(const std::string& message, const std::string& detail) {
  return content(update_texts::kUpdateError, detail.empty() ? message : message + "\n\n" + clipped(detail, 400),
                 update_texts::kOK);
}

}  // namespace quorvelle
