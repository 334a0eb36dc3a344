#include "settings/settings_view.h"

#include "settings/settings_layout.h"
#include "settings/settings_texts.h"

namespace quorvelle {

namespace texts = settings_texts;

SettingsView::SettingsView(Config& config, UpdateController& updates, CommandLineTool& commandLineTool,
                           SettingsServices services)
    : config_(config),
      updates_(updates),
      commandLineTool_(commandLineTool),
      services_(services),
      accessibilityTrusted_(services.trust.isTrusted()),
      launchAtLogin_(isLaunchAtLoginEnabled()),
      cliInstalled_(commandLineTool.installedPath().has_value()) {
  // Published values are stored after their subscribers hear of them, so the
  // content looks again on a later turn, when the new values can be read.
  Delivery later{.dropFirst = true, .mainQueue = &services_.runLoop};
  auto redraw = [this](const auto&) { notifyChanged(); };
  subscriptions_.push_back(config_.enabledPublisher().subscribe(redraw, later));
  subscriptions_.push_back(config_.hideMenuBarIconPublisher().subscribe(redraw, later));
  subscriptions_.push_back(config_.modifiersPublisher().subscribe(redraw, later));
  std::weak_ptr<bool> alive = alive_;
  subscriptions_.push_back(updates_.objectWillChange().subscribe([this, alive] {
    services_.runLoop.post([this, alive] {
      if (alive.lock()) notifyChanged();
    });
  }));
}

SettingsView::~SettingsView() {
  *alive_ = false;
  if (trustPoll_) trustPoll_->invalidate();
  if (eventMonitor_) services_.keyMonitor.removeMonitor(*eventMonitor_);
}

std::vector<SettingsRow> SettingsView::rows() const {
  std::vector<SettingsRow> rows;
  if (!accessibilityTrusted_) rows.push_back(SettingsRow::AccessibilityWarning);
  rows.insert(rows.end(), {SettingsRow::HyperShortcut, SettingsRow::Enabled, SettingsRow::LaunchAtLogin,
                           SettingsRow::Updates, SettingsRow::HideMenuBarIcon});
  if (config_.hideMenuBarIcon()) rows.push_back(SettingsRow::Command);
  return rows;
}

Cancellable SettingsView::observe(std::function<void()> handler) {
  return changed_.add([handler = std::move(handler)](const bool&) { handler(); });
}

void SettingsView::notifyChanged() { changed_.call(true); }

void SettingsView::contentAppeared() {
  if (trustPoll_ && trustPoll_->isValid()) return;
  // Common modes: the warning keeps following access while a menu is open.
  trustPoll_ = services_.runLoop.scheduleTimer(settings_layout::kTrustPollSeconds, /*repeats=*/true,
                                               RunLoopMode::Common, [this](Timer&) { refreshTrust(); });
}

void SettingsView::contentDisappeared() {
  if (trustPoll_) trustPoll_->invalidate();
  trustPoll_.reset();
  stopRecording();
}

void SettingsView::refreshTrust() {
  bool trusted = services_.trust.isTrusted();
  if (trusted == accessibilityTrusted_) return;
  accessibilityTrusted_ = trusted;
  notifyChanged();
}

std::string SettingsView::commandNote() const {
  return cliInstalled_ ? texts::kReopenNoteWithCommand : texts::kReopenNote;
}

std::string SettingsView::commandButtonTitle() const {
  return cliInstalled_ ? texts::kRemoveCommand : texts::kInstallCommand;
}

void SettingsView::openSystemSettings() { services_.workspace.openURL(kAccessibilitySettingsURL); }

bool SettingsView::handleReturnKey() {
  if (accessibilityTrusted_ || isRecording_) return false;
  openSystemSettings();
  return true;
}

void SettingsView::showFailure(const std::string& message, const std::string& description) {
  // No buttons: the platform's single default button.
  Alert alert;
  alert.messageText = message;
  alert.informativeText = description;
  services_.alerts.runModal(alert);
}

void SettingsView::toggleCommand() {
  std::string error;
  if (cliInstalled_) {
    if (!commandLineTool_.remove(&error)) {
      showFailure(texts::kRemoveFailed, error);
      return;
    }
    // Asked again: a regular file of that name survives a removal.
    cliInstalled_ = commandLineTool_.installedPath().has_value();
  } else {
    std::optional<std::string> path = commandLineTool_.install(&error);
    if (!path) {
      showFailure(texts::kInstallFailed, error);
      return;
    }
    cliInstalled_ = true;
    services_.log.write(texts::kInstalledLogPrefix + *path);
  }
  notifyChanged();
}

}  // namespace quorvelle
