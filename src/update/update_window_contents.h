#pragma once

#include <string>

#include "platform/appcast_feed.h"
#include "platform/update_window.h"

namespace quorvelle {

// Every text of the updater's window.
namespace update_texts {
inline constexpr char kWindowTitle[] = "Software Update";
inline constexpr char kChecking[] = "Checking for updates...";
inline constexpr char kCancel[] = "Cancel";
inline constexpr char kOK[] = "OK";
inline constexpr char kUpToDate[] = "You're up to date";
inline constexpr char kUpdateAvailable[] = "A new version of Quorvelle is available!";
inline constexpr char kReleaseNotes[] = "Release Notes";
inline constexpr char kDownloadPage[] = "Download Page";
inline constexpr char kUpdateError[] = "Update Error";
inline constexpr char kUnreachable[] = "The update server could not be reached.";
inline constexpr char kMalformed[] = "The update information from the server could not be read.";
inline constexpr char kNoUsableItem[] = "The update information from the server lists no version number.";
inline constexpr char kNoFeed[] = "This copy of Quorvelle names no update feed.";
inline constexpr char kNoBuildNumber[] = "This copy of Quorvelle has no valid build number to compare.";
}  // namespace update_texts

UpdateWindowContent checkingContent();

// currentVersion: the running copy's version for people.
UpdateWindowContent upToDateContent(const std::string& currentVersion);

// Where to get the release: its page, else its download, else its release
// notes, else the feed's site. Installing in place is not offered yet.
UpdateWindowContent updateAvailableContent(const AppcastItem& release, const std::string& currentVersion,
                                           const std::string& feedURL);

// One of the update_texts messages, and what went wrong in detail (may be empty).
UpdateWindowContent errorContent(const std::string& message, const std::string& detail);

}  // namespace quorvelle
