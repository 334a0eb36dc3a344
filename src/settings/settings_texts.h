#pragma once

namespace quorvelle::settings_texts {

// The settings content's texts. They are the keys a platform's text table
// rewords; the typographic quotes and apostrophes are part of them.
inline constexpr char kWarningTitle[] = "Accessibility access required";
inline constexpr char kWarningExplanation[] =
    "Quorvelle rewrites keyboard events, which macOS only allows for apps with Accessibility access. "
    "Enable Quorvelle in System Settings, then come back here.";
inline constexpr char kOpenSystemSettings[] = "Open System Settings";

inline constexpr char kCapsLock[] = "Caps Lock";
inline constexpr char kHoldModifiers[] = "Hold Modifiers";
inline constexpr char kRecordShortcut[] = "Record Shortcut";
inline constexpr char kCancel[] = "Cancel";

inline constexpr char kEnable[] = "Enable Quorvelle";
inline constexpr char kLaunchAtLogin[] = "Launch at login";
inline constexpr char kCheckAutomatically[] = "Check for updates automatically";
inline constexpr char kCheckNow[] = "Check Now";
inline constexpr char kHideMenuBarIcon[] = "Hide menu bar icon";

inline constexpr char kReopenNoteWithCommand[] =
    "To reopen this window, run “quorvelle” in Terminal or open Quorvelle again from Spotlight or Finder.";
inline constexpr char kReopenNote[] = "To reopen this window, open Quorvelle again from Spotlight or Finder.";
inline constexpr char kRemoveCommand[] = "Remove “quorvelle” Command";
inline constexpr char kInstallCommand[] = "Install “quorvelle” Command…";

inline constexpr char kRemoveFailed[] = "Couldn’t remove the quorvelle command";
inline constexpr char kInstallFailed[] = "Couldn’t install the quorvelle command";

inline constexpr char kInstalledLogPrefix[] = "Quorvelle: installed CLI at ";
inline constexpr char kLaunchAtLoginFailedLogPrefix[] = "Quorvelle: launch at login change failed: ";

// Symbol images, by their system names.
inline constexpr char kWarningSymbol[] = "exclamationmark.triangle.fill";
inline constexpr char kCapsLockSymbol[] = "capslock.fill";
inline constexpr char kArrowSymbol[] = "arrow.right";

}  // namespace quorvelle::settings_texts
