#include "config/config.h"

#include <optional>
#include <string>

#include "config/modifier_symbols.h"
#include "config/preference_keys.h"

namespace quorvelle {
namespace {

// A stored boolean, or a number that is exactly 0 or 1, is the value;
// anything else (text, another number), or nothing, leaves the hyper key on.
bool loadEnabled(const DefaultsStore& store) {
  std::optional<PropertyValue> value = store.object(prefs::kEnabled);
  if (!value) return true;
  if (const bool* b = std::get_if<bool>(&*value)) return *b;
  if (const double* d = std::get_if<double>(&*value)) return *d != 0.0;
  if (isNumber(*value)) return unsignedValue(*value) != 0;
  return true;
}

// Any stored number is taken as it is, bits and all; anything else gives the
// default set.
ModifierFlags loadModifiers(const DefaultsStore& store) {
  std::optional<PropertyValue> value = store.object(prefs::kModifierFlags);
  if (value && isNumber(*value)) return unsignedValue(*value);
  return kDefaultHyperFlags;
}

}  // namespace

Config::Config(DefaultsStore& store)
    : store_(store),
      enabled_(loadEnabled(store), objectWillChange_),
      modifiers_(loadModifiers(store), objectWillChange_),
      hideMenuBarIcon_(store.boolForKey(prefs::kHideMenuBarIcon), objectWillChange_) {}

void Config::setEnabled(bool value) {
  enabled_.set(value);
  store_.setBool(prefs::kEnabled, value);
}

void Config::setModifiers(ModifierFlags value) {
  modifiers_.set(value);
  store_.setUnsigned(prefs::kModifierFlags, value);
}

void Config::setHideMenuBarIcon(bool value) {
  hideMenuBarIcon_.set(value);
  store_.setBool(prefs::kHideMenuBarIcon, value);
}

std::string Config::modifierSymbols() const { return quorvelle::modifierSymbols(modifiers()); }

}  // namespace quorvelle
