#include "statusitem/status_item_controller.h"

#include <utility>

namespace quorvelle {

StatusItemController::StatusItemController(StatusBar& statusBar, Workspace& workspace, Application& application,
                                           Config& config, std::function<void()> showSettings,
                                           std::function<void()> showAboutWindow,
                                           std::function<void()> checkForUpdates, std::function<bool()> isActive)
    : statusBar_(statusBar),
      workspace_(workspace),
      application_(application),
      config_(config),
      showSettings_(std::move(showSettings)),
      showAboutWindow_(std::move(showAboutWindow)),
      checkForUpdates_(std::move(checkForUpdates)),
      isActive_(std::move(isActive)),
      menu_(statusBar.createMenu()) {
  // States and visibility are left to updateMenuItems(), before the menu opens.
  accessItem_ = &menu_->addItem(kAccessItemTitle, "", [this] { openAccessibilitySettings(); });
  accessSeparator_ = &menu_->addSeparator();
  enabledItem_ = &menu_->addItem(kEnabledTitle, "", [this] { toggleEnabled(); });
  menu_->addSeparator();
  menu_->addItem(kPreferencesTitle, kPreferencesKey, [this] { openPreferences(); });
  menu_->addSeparator();
  menu_->addItem(kAboutTitle, "", [this] { openAbout(); });
  menu_->addItem(kCheckForUpdatesTitle, "", [this] { checkUpdates(); });
  menu_->addSeparator();
  menu_->addItem(kQuitTitle, kQuitKey, [this] { quit(); });
  menu_->setNeedsUpdateHandler([this] { menuNeedsUpdate(); });
}

void StatusItemController::showStatusItem() {
  if (item_) return;
  item_ = statusBar_.addStatusItem(*menu_);
  updateIcon();
}

void StatusItemController::hideStatusItem() { item_.reset(); }

void StatusItemController::updateIcon() {
  if (!item_) return;
  const bool enabled = config_.enabled();
  item_->setImage(enabled ? kEnabledSymbol : kDisabledSymbol, kAccessibilityDescription);
  // Switched on but not working (no tap, typically no access yet) is dimmed.
  item_->setAppearsDisabled(enabled && !isActive());
}

void StatusItemController::updateMenuItems() {
  enabledItem_->setState(config_.enabled());
  accessItem_->setHidden(!showsAccessWarning());
  accessSeparator_->setHidden(!showsAccessWarning());
}

void StatusItemController::toggleEnabled() { config_.setEnabled(!config_.enabled()); }

void StatusItemController::openPreferences() {
  if (showSettings_) showSettings_();
}

void StatusItemController::openAbout() {
  if (showAboutWindow_) showAboutWindow_();
}

void StatusItemController::checkUpdates() {
  if (checkForUpdates_) checkForUpdates_();
}

void StatusItemController::openAccessibilitySettings() { workspace_.openURL(kAccessibilitySettingsURL); }

void StatusItemController::quit() { application_.terminate(); }

}  // namespace quorvelle
