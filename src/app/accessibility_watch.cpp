// The access watch: ask once (with the system's prompt), then poll until
// access is granted or the hyper key is switched off.
#include "app/app_delegate.h"

namespace quorvelle {

void AppDelegate::checkAccessibilityAndStart() {
  if (services_.trust.isTrustedPrompting()) {
    if (!hyperKey_.start()) services_.log.write("Quorvelle: failed to create event tap");
    if (statusItem_) statusItem_->updateIcon();
    return;
  }
  if (accessibilityTimer_) accessibilityTimer_->invalidate();
  std::weak_ptr<AppDelegate> weak = weak_from_this();
  accessibilityTimer_ = services_.runLoop.scheduleTimer(kAccessibilityPollInterval, /*repeats=*/true,
                                                        RunLoopMode::Default, [weak](Timer& timer) {
                                                          if (auto self = weak.lock()) self->accessibilityPollTick(timer);
                                                        });
}

void AppDelegate::accessibilityPollTick(Timer& timer) {
  if (!services_.trust.isTrusted()) return;
  timer.invalidate();
  accessibilityTimer_.reset();
  // The setting is read now: it may have just been switched off, with the
  // change still on its way to enabledChanged. A failure here is not logged.
  if (config_.enabled()) hyperKey_.start();
  if (statusItem_) statusItem_->updateIcon();
}

}  // namespace quorvelle
