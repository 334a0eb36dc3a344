// The settings and About windows, the application commands, and the check
// that returns the application to the menu bar once no titled window is left.
#include "app/app_delegate.h"

namespace quorvelle {

void AppDelegate::showSettings() {
  activation_.bringToFront();
  for (Window* window : services_.application.windows()) {
    if (window->isVisible() && window->title() == kSettingsSceneWindowTitle) {
      window->makeKeyAndOrderFront();
      return;
    }
  }
  if (!settingsWindow_) {
    std::unique_ptr<ContentWindow> window = services_.windows.makeSettingsWindow(config_, updates_);
    window->setTitle(kSettingsWindowTitle);
    window->setStyleMask(kSettingsWindowStyle);
    const double height = window->fittingSize().height;
    window->setContentMinSize({kSettingsWindowWidth, height});
    window->setContentSize({kSettingsWindowWidth, height});
    window->center();
    window->setReleasedWhenClosed(false);
    settingsWindow_ = std::move(window);
  }
  settingsWindow_->showWindow();
  settingsWindow_->makeKeyAndOrderFront();
}

void AppDelegate::showAboutWindow() {
  activation_.bringToFront();
  if (!aboutWindow_) {
    std::unique_ptr<ContentWindow> window = services_.windows.makeAboutWindow();
    window->setTitle(kAboutWindowTitle);
    window->setStyleMask(kAboutWindowStyle);
    window->setContentSize(window->fittingSize());
    window->setReleasedWhenClosed(false);
    window->center();
    aboutWindow_ = std::move(window);
  }
  aboutWindow_->showWindow();
  aboutWindow_->makeKeyAndOrderFront();
}

void AppDelegate::addApplicationCommands(Menu& menu) {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  menu.addItem(kAboutCommandTitle, "", [weak] {
    if (auto self = weak.lock()) self->showAboutWindow();
  });
  // Comes forward before the updater shows anything, as from the status item.
  menu.addItem(kCheckForUpdatesCommandTitle, "", [weak] {
    if (auto self = weak.lock()) self->updates_.checkForUpdatesNow();
  });
}

void AppDelegate::windowWillClose(Window* window) {
  // A new settings window, with fresh content, is built next time.
  if (window && settingsWindow_ && window == settingsWindow_.get()) settingsWindow_.reset();
  activation_.scheduleActivationPolicyUpdate();
}

}  // namespace quorvelle
