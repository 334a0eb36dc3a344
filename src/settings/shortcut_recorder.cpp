// The hyper shortcut recorder of the settings content: while recording, every
// key press and modifier change the application receives is consumed; the
// modifiers held at any moment of one press become the new hyper set when the
// last of them is released.
#include "config/modifier_symbols.h"
#include "settings/settings_texts.h"
#include "settings/settings_view.h"

namespace quorvelle {

namespace {

// The only modifiers a recording keeps: Shift, Control, Option and Command.
constexpr ModifierFlags kRecordableFlags = kShiftFlag | kControlFlag | kOptionFlag | kCommandFlag;

}  // namespace

std::string SettingsView::flagSymbols(ModifierFlags flags) { return modifierSymbols(flags); }

std::string SettingsView::shortcutText() const {
  if (!isRecording_) return config_.modifierSymbols();
  if (recordedFlags_ == 0) return settings_texts::kHoldModifiers;
  return flagSymbols(recordedFlags_);
}

std::string SettingsView::recordButtonTitle() const {
  return isRecording_ ? settings_texts::kCancel : settings_texts::kRecordShortcut;
}

void SettingsView::toggleRecording() {
  if (isRecording_) {
    stopRecording();
    return;
  }
  isRecording_ = true;
  recordedFlags_ = 0;
  // Without a monitor the recording still runs; Cancel or closing ends it.
  eventMonitor_ = services_.keyMonitor.addMonitor(kKeyDownAndFlagsChangedMask, [this](const KeyEvent& event) {
    return handleRecorderEvent(event).has_value();
  });
  notifyChanged();
}

std::optional<KeyEvent> SettingsView::handleRecorderEvent(const KeyEvent& event) {
  if (event.type == kKeyDownEvent) {
    if (event.keyCode == kEscapeKeyCode) stopRecording();
    return std::nullopt;
  }
  ModifierFlags held = event.flags & kRecordableFlags;
  if (held != 0) {
    // Releasing one key while others are held removes nothing.
    ModifierFlags recorded = recordedFlags_ | held;
    if (recorded != recordedFlags_) {
      recordedFlags_ = recorded;
      notifyChanged();
    }
  } else if (recordedFlags_ != 0) {
    commitRecording();
  }
  return std::nullopt;
}

void SettingsView::commitRecording() {
  ModifierFlags flags = 0;
  if (recordedFlags_ & kControlFlag) flags |= kControlFlag;
  if (recordedFlags_ & kOptionFlag) flags |= kOptionFlag;
  if (recordedFlags_ & kShiftFlag) flags |= kShiftFlag;
  if (recordedFlags_ & kCommandFlag) flags |= kCommandFlag;
  if (flags != 0) config_.setModifiers(flags);
  stopRecording();
}

void SettingsView::stopRecording() {
  bool wasRecording = isRecording_ || eventMonitor_;
  if (eventMonitor_) services_.keyMonitor.removeMonitor(*eventMonitor_);
  eventMonitor_.reset();
  isRecording_ = false;
  recordedFlags_ = 0;
  if (wasRecording) notifyChanged();
}

}  // namespace quorvelle
