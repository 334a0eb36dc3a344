// Launch at login for the settings content. The login item service is the
// only record: it is read when the content is made and after a failed change.
#include "settings/settings_texts.h"
#include "settings/settings_view.h"

namespace quorvelle {

bool SettingsView::isLaunchAtLoginEnabled() const {
  return services_.loginItems.status() == LoginItemStatus::Enabled;
}

void SettingsView::setLaunchAtLoginChecked(bool value) {
  if (value == launchAtLogin_) return;
  launchAtLogin_ = value;
  notifyChanged();
  // Whatever changed the value, a click or a correction after a failure, the
  // service follows it.
  setLaunchAtLogin(value);
}

void SettingsView::setLaunchAtLogin(bool wanted) {
  std::string error;
  LoginItems& items = services_.loginItems;
  bool done = wanted ? items.registerItem(&error) : items.unregisterItem(&error);
  if (done) return;  // the checkbox keeps the user's choice
  services_.log.write(settings_texts::kLaunchAtLoginFailedLogPrefix + error);
  // Back to the service's real state; a change runs the opposite call once.
  setLaunchAtLoginChecked(isLaunchAtLoginEnabled());
}

}  // namespace quorvelle
