#pragma once

#include <functional>
#include <memory>

#include "config/config.h"
#include "platform/application.h"
#include "platform/menu.h"
#include "platform/status_bar.h"
#include "platform/workspace.h"

namespace quorvelle {

// The application's icon in the status bar and the menu that drops down from
// it. The icon tells whether the hyper key is switched on and whether it
// really works; the menu switches it, leads to the windows, starts an update
// check, leads to the access grant when it is missing, and quits.
class StatusItemController {
 public:
  // Builds the menu; shows nothing until showStatusItem(). The closures come
  // from the application and may be empty once it is gone.
  StatusItemController(StatusBar& statusBar, Workspace& workspace, Application& application, Config& config,
                       std::function<void()> showSettings, std::function<void()> showAboutWindow,
                       std::function<void()> checkForUpdates, std::function<bool()> isActive);
  StatusItemController(const StatusItemController&) = delete;
  StatusItemController& operator=(const StatusItemController&) = delete;

  // Creates the status item with the menu unless there is one, then draws the icon.
  void showStatusItem();
  // Removes the status item; the menu stays for a later showStatusItem().
  void hideStatusItem();
  // Draws the icon from `enabled` and isActive(); nothing while hidden.
  void updateIcon();
  bool hasStatusItem() const { return item_ != nullptr; }

  // The menu's actions.
  void toggleEnabled();
  void openPreferences();
  void openAbout();
  void checkUpdates();
  void openAccessibilitySettings();
  void quit();

  // Runs before the menu opens: check mark and the access warning.
  void menuNeedsUpdate() { updateMenuItems(); }
  void updateMenuItems();

  static constexpr char kAccessItemTitle[] = "⚠︎ Grant Accessibility Access...";
  static constexpr char kEnabledTitle[] = "Enabled";
  static constexpr char kPreferencesTitle[] = "Preferences...";
  static constexpr char kPreferencesKey[] = ",";
  static constexpr char kAboutTitle[] = "About...";
  static constexpr char kCheckForUpdatesTitle[] = "Check for Updates...";
  static constexpr char kQuitTitle[] = "Quit Quorvelle";
  static constexpr char kQuitKey[] = "q";
  static constexpr char kEnabledSymbol[] = "capslock.fill";
  static constexpr char kDisabledSymbol[] = "capslock";
  static constexpr char kAccessibilityDescription[] = "Quorvelle";

 private:
  bool isActive() const { return isActive_ && isActive_(); }
  bool showsAccessWarning() const { return config_.enabled() && !isActive(); }

  StatusBar& statusBar_;
  Workspace& workspace_;
  Application& application_;
  Config& config_;
  std::function<void()> showSettings_;
  std::function<void()> showAboutWindow_;
  std::function<void()> checkForUpdates_;
  std::function<bool()> isActive_;
  std::unique_ptr<Menu> menu_;
  MenuItem* enabledItem_ = nullptr;
  MenuItem* accessItem_ = nullptr;
  MenuItem* accessSeparator_ = nullptr;
  // Declared after the menu so that it goes first: the item shows the menu.
  std::unique_ptr<StatusItem> item_;
};

}  // namespace quorvelle
