#include "app/app_delegate.h"

#include "app/launch_kind.h"

namespace quorvelle {

std::shared_ptr<AppDelegate> AppDelegate::create(AppServices services) {
  return std::shared_ptr<AppDelegate>(new AppDelegate(std::move(services)));
}

AppDelegate::AppDelegate(AppServices services)
    : services_(std::move(services)),
      activation_(services_.application, services_.runLoop),
      keyMapping_(services_.processes, services_.hid, services_.log, services_.keyMappingToolPath),
      config_(services_.defaults),
      updates_(services_.defaults, services_.updater, services_.application, activation_),
      hyperKey_(services_.eventTaps, keyMapping_),
      moveToApplications_(services_.folders,
                          MoveToApplicationsServices{services_.bundles, services_.files, services_.defaults,
                                                     services_.alerts, activation_, services_.workspace,
                                                     services_.application, services_.runLoop,
                                                     services_.processes, services_.log}),
      otherInstances_(services_.runningApplications, services_.bundles, services_.runLoop) {}

void AppDelegate::applicationDidFinishLaunching() {
  const bool showSettingsAtEnd = showSettingsAtLaunch(services_.launchEvents, updates_);
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  // Handing over, this copy quits shortly; unless the installed copy cannot
  // be opened, and then it goes on here.
  if (moveToApplications_.moveToApplicationsIfNeeded([weak, showSettingsAtEnd] {
        if (auto self = weak.lock()) self->replaceOtherInstances(showSettingsAtEnd);
      })) {
    return;
  }
  replaceOtherInstances(showSettingsAtEnd);
}

void AppDelegate::replaceOtherInstances(bool showSettingsAtEnd) {
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  otherInstances_.terminateOtherInstances(
      [weak, showSettingsAtEnd] {
        if (auto self = weak.lock()) self->completeLaunch(showSettingsAtEnd);
      },
      [weak](int newerProcess) {
        auto self = weak.lock();
        if (!self) return;
        self->services_.log.write("Quorvelle: a newer copy is running (process " +
                                  std::to_string(newerProcess) + "); this one quits");
        self->services_.application.terminate();
      });
}

void AppDelegate::completeLaunch(bool showSettingsAtEnd) {
  // Quit while start-up waited (on a prompt, or for older copies): the
  // process is on its way out and nothing is started any more.
  if (terminated_) return;
  hyperKey_.setInjectedFlags(config_.modifiers());
  updates_.controller().startUpdater();

  std::weak_ptr<AppDelegate> weak = weak_from_this();
  statusItem_ = std::make_unique<StatusItemController>(
      services_.statusBar, services_.workspace, services_.application, config_,
      [weak] {
        if (auto self = weak.lock()) self->showSettings();
      },
      [weak] {
        if (auto self = weak.lock()) self->showAboutWindow();
      },
      [weak] {
        if (auto self = weak.lock()) self->updates_.checkForUpdatesNow();
      },
      [weak] {
        auto self = weak.lock();
        return self && self->hyperKey_.hasTap();
      });
  if (!config_.hideMenuBarIcon()) statusItem_->showStatusItem();

  // Synchronous, current value included: a new set reaches the very next key.
  cancellables_.push_back(config_.modifiersPublisher().subscribe([weak](const ModifierFlags& flags) {
    if (auto self = weak.lock()) self->hyperKey_.setInjectedFlags(flags);
  }));
  cancellables_.push_back(config_.enabledPublisher().subscribe(
      [weak](const bool& enabled) {
        if (auto self = weak.lock()) self->enabledChanged(enabled);
      },
      {.dropFirst = true, .mainQueue = &services_.runLoop}));
  cancellables_.push_back(config_.hideMenuBarIconPublisher().subscribe(
      [weak](const bool& hidden) {
        if (auto self = weak.lock()) self->hideMenuBarIconChanged(hidden);
      },
      {.dropFirst = true}));

  if (config_.enabled()) checkAccessibilityAndStart();

  services_.application.addWindowWillCloseObserver([weak](Window* window) {
    if (auto self = weak.lock()) self->windowWillClose(window);
  });

  if (showSettingsAtEnd) showSettings();
  if (launchCompleted_) launchCompleted_();
}

void AppDelegate::enabledChanged(bool enabled) {
  if (!enabled) {
    if (accessibilityTimer_) accessibilityTimer_->invalidate();
    accessibilityTimer_.reset();
    hyperKey_.stop();
  } else {
    checkAccessibilityAndStart();
  }
  if (statusItem_) statusItem_->updateIcon();
}

void AppDelegate::hideMenuBarIconChanged(bool hidden) {
  if (!statusItem_) return;
  if (hidden) {
    statusItem_->hideStatusItem();
  } else {
    statusItem_->showStatusItem();
  }
}

bool AppDelegate::applicationShouldHandleReopen(bool) {
  showSettings();
  return false;
}

void AppDelegate::applicationWillTerminate() {
  terminated_ = true;
  hyperKey_.stop();
}

}  // namespace quorvelle
