#pragma once

#include <string>

#include "config/published.h"
#include "platform/defaults_store.h"
#include "platform/modifier_flags.h"

namespace quorvelle {

// The user's three settings, loaded once from the defaults store, written back
// on every assignment and published to whoever follows them.
class Config {
 public:
  // Loads the settings; never writes.
  explicit Config(DefaultsStore& store);

  Config(const Config&) = delete;
  Config& operator=(const Config&) = delete;

  bool enabled() const { return enabled_.get(); }
  ModifierFlags modifiers() const { return modifiers_.get(); }
  bool hideMenuBarIcon() const { return hideMenuBarIcon_.get(); }

  // Every assignment, also of the current value, is published and written.
  void setEnabled(bool value);
  void setModifiers(ModifierFlags value);
  void setHideMenuBarIcon(bool value);

  Published<bool>& enabledPublisher() { return enabled_; }
  Published<ModifierFlags>& modifiersPublisher() { return modifiers_; }
  Published<bool>& hideMenuBarIconPublisher() { return hideMenuBarIcon_; }

  // Sent before any of the settings changes.
  WillChangeSignal& objectWillChange() { return objectWillChange_; }

  // The hyper set as symbols, "⌃⌥⌘" for the default.
  std::string modifierSymbols() const;

 private:
  DefaultsStore& store_;
  WillChangeSignal objectWillChange_;
  Published<bool> enabled_;
  Published<ModifierFlags> modifiers_;
  Published<bool> hideMenuBarIcon_;
};

}  // namespace quorvelle
