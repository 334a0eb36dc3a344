#pragma once

#include <array>

namespace quorvelle::prefs {

// Every key of the application's defaults domain; nothing else is read or
// written there.
//
// | key                           | stored as           | written by                       | missing means |
// |-------------------------------|---------------------|----------------------------------|---------------|
// | enabled                       | boolean             | Config, on every assignment      | true          |
// | modifierFlags                 | unsigned 64-bit int | Config, on every assignment      | 0x1C0000      |
// | hideMenuBarIcon               | boolean             | Config, on every assignment      | false         |
// | relaunchedForUpdate           | boolean, true       | UpdateController, before relaunch| false         |
// | dontAskToMoveToApplications   | boolean, true       | the move-to-Applications offer   | false         |
//
// The updater keeps its own settings under keys of its own, outside this table.
inline constexpr char kEnabled[] = "enabled";
inline constexpr char kModifierFlags[] = "modifierFlags";
inline constexpr char kHideMenuBarIcon[] = "hideMenuBarIcon";
inline constexpr char kRelaunchedForUpdate[] = "relaunchedForUpdate";
inline constexpr char kDontAskToMoveToApplications[] = "dontAskToMoveToApplications";

inline constexpr std::array<const char*, 5> kAllKeys = {
    kEnabled, kModifierFlags, kHideMenuBarIcon, kRelaunchedForUpdate, kDontAskToMoveToApplications};

}  // namespace quorvelle::prefs
