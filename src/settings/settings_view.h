#pragma once

#include <functional>
#include <memory>
#include <optional>
#include <string>
#include <vector>

#include "config/config.h"
#include "install/command_line_tool.h"
#include "platform/accessibility.h"
#include "platform/alerts.h"
#include "platform/local_key_monitor.h"
#include "platform/log.h"
#include "platform/login_items.h"
#include "platform/run_loop.h"
#include "platform/workspace.h"
#include "update/update_controller.h"

namespace quorvelle {

// The platform services the settings content uses.
struct SettingsServices {
  RunLoop& runLoop;
  AccessibilityTrust& trust;
  Workspace& workspace;
  Alerts& alerts;
  LocalKeyMonitor& keyMonitor;
  LoginItems& loginItems;
  Log& log;
};

// The rows of the settings column, in their order top to bottom.
enum class SettingsRow {
  AccessibilityWarning,  // only while access is missing
  HyperShortcut,
  Enabled,
  LaunchAtLogin,
  Updates,
  HideMenuBarIcon,
  Command,  // only while the menu bar icon is hidden
};

// The content of the settings window: what each row shows and does. It keeps
// no setting of its own; the checkboxes write through to Config, the updater
// and the login item service. Everything else here is transient view state,
// read once when the content is made.
class SettingsView {
 public:
  SettingsView(Config& config, UpdateController& updates, CommandLineTool& commandLineTool,
               SettingsServices services);
  ~SettingsView();

  SettingsView(const SettingsView&) = delete;
  SettingsView& operator=(const SettingsView&) = delete;

  // The rows shown now, top to bottom.
  std::vector<SettingsRow> rows() const;

  // Calls the handler after every change the content shows: its own view
  // state at once, the settings and updater on a later turn of the main queue
  // (when their new values can be read).
  [[nodiscard]] Cancellable observe(std::function<void()> handler);

  // While the content is on screen, access is re-read every second.
  void contentAppeared();
  // Stops re-reading access and ends a recording under way.
  void contentDisappeared();

  // View state.
  bool accessibilityTrusted() const { return accessibilityTrusted_; }
  bool launchAtLogin() const { return launchAtLogin_; }
  bool isRecording() const { return isRecording_; }
  ModifierFlags recordedFlags() const { return recordedFlags_; }
  bool hasEventMonitor() const { return eventMonitor_.has_value(); }
  bool cliInstalled() const { return cliInstalled_; }

  // Checkbox bindings.
  bool enabled() const { return config_.enabled(); }
  void setEnabled(bool value) { config_.setEnabled(value); }
  bool automaticallyChecksForUpdates() { return updates_.automaticallyChecksForUpdates(); }
  void setAutomaticallyChecksForUpdates(bool value) { updates_.setAutomaticallyChecksForUpdates(value); }
  bool hideMenuBarIcon() const { return config_.hideMenuBarIcon(); }
  void setHideMenuBarIcon(bool value) { config_.setHideMenuBarIcon(value); }
  // The launch-at-login checkbox: a changed value goes to setLaunchAtLogin.
  void setLaunchAtLoginChecked(bool value);

  // Texts that depend on state.
  std::string commandNote() const;
  std::string commandButtonTitle() const;
  std::string recordButtonTitle() const;
  std::string shortcutText() const;
  // The shortcut text is dimmed while recording.
  bool shortcutTextIsSecondary() const { return isRecording_; }

  // Buttons.
  void openSystemSettings();
  void checkNow() { updates_.checkForUpdatesNow(); }
  void toggleCommand();
  // Return acts as "Open System Settings" while the warning shows and no
  // recording runs; answers whether it did.
  bool handleReturnKey();

  // The shortcut recorder.
  void toggleRecording();
  // Answers the event to pass on: never any, every event is consumed.
  std::optional<KeyEvent> handleRecorderEvent(const KeyEvent& event);
  void commitRecording();
  void stopRecording();
  static std::string flagSymbols(ModifierFlags flags);

  // Launch at login through the login item service.
  bool isLaunchAtLoginEnabled() const;
  void setLaunchAtLogin(bool wanted);

 private:
  void refreshTrust();
  void showFailure(const std::string& message, const std::string& description);
  void notifyChanged();

  Config& config_;
  UpdateController& updates_;
  CommandLineTool& commandLineTool_;
  SettingsServices services_;

  bool accessibilityTrusted_;
  bool launchAtLogin_;
  bool isRecording_ = false;
  ModifierFlags recordedFlags_ = 0;
  std::optional<LocalKeyMonitor::Token> eventMonitor_;
  bool cliInstalled_;
  std::shared_ptr<Timer> trustPoll_;

  HandlerList<bool> changed_;
  std::vector<Cancellable> subscriptions_;
  // Tasks queued for later turns do nothing once the content is gone.
  std::shared_ptr<bool> alive_ = std::make_shared<bool>(true);
};

}  // namespace quorvelle
