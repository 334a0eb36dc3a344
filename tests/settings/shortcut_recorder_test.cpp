// The hyper shortcut recorder, driven by the events its local key monitor
// receives: its states, what each event does in each, and what is stored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"

namespace quorvelle {
namespace {

constexpr ModifierFlags kCtrl = kControlFlag, kAlt = kOptionFlag, kShift = kShiftFlag, kCmd = kCommandFlag;
constexpr std::uint32_t kFlags = kFlagsChangedEvent, kDown = kKeyDownEvent;

struct RecorderTest : testing::Test, testing_support::SettingsFixture {
  // Idle, Waiting or Collecting, read from every field that shows it.
  std::string state(const SettingsView& view) const {
    if (!view.isRecording()) return view.recordedFlags() || view.hasEventMonitor() ? "broken" : "Idle";
    if (!view.hasEventMonitor()) return "no monitor";
    return view.recordedFlags() ? "Collecting" : "Waiting";
  }
};

TEST_F(RecorderTest, StateTable) {
  // An event the monitor receives, then the state and text it leads to.
  using Step = std::tuple<std::uint32_t, std::uint16_t, ModifierFlags, const char*, const char*>;
  struct Case {
    const char* name;
    std::vector<Step> steps;
    ModifierFlags stored;
  };
  const ModifierFlags before = kCtrl | kCmd;
  const std::vector<Case> cases = {
      {"held one by one, released in any order",
       {{kFlags, 0, kCtrl, "Collecting", "⌃"},
        {kFlags, 0, kCtrl | kAlt, "Collecting", "⌃⌥"},
        {kFlags, 0, kCtrl | kAlt | kCmd, "Collecting", "⌃⌥⌘"},
        {kFlags, 0, kAlt | kCmd, "Collecting", "⌃⌥⌘"},
        {kFlags, 0, kAlt, "Collecting", "⌃⌥⌘"},
        {kFlags, 0, 0, "Idle", "⌃⌥⌘"}},
       kCtrl | kAlt | kCmd},
      {"caps lock and fn alone change nothing, their bits are dropped; Control's symbol comes first",
       {{kFlags, 0, kCapsLockFlag, "Waiting", "Hold Modifiers"},
        {kFlags, 0, kFunctionFlag | 0x1, "Waiting", "Hold Modifiers"},
        {kFlags, 0, 0, "Waiting", "Hold Modifiers"},
        {kFlags, 0, kShift | kFunctionFlag | kNumericPadFlag, "Collecting", "⇧"},
        {kFlags, 0, kShift | kCtrl, "Collecting", "⌃⇧"},
        {kFlags, 0, 0, "Idle", "⌃⇧"}},
       kCtrl | kShift},
      {"other keys are discarded; escape with modifiers held cancels, and later events pass",
       {{kFlags, 0, kCtrl | kAlt, "Collecting", "⌃⌥"},
        {kDown, 0, kCtrl | kAlt, "Collecting", "⌃⌥"},
        {kDown, kEscapeKeyCode, kCtrl | kAlt, "Idle", "⌃⌘"},
        {kFlags, 0, 0, "Idle", "⌃⌘"}},
       before},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    config.setModifiers(before);
    SettingsView& view = open();
    view.toggleRecording();
    EXPECT_EQ(state(view), "Waiting");
    EXPECT_EQ(view.shortcutText(), "Hold Modifiers");
    EXPECT_TRUE(view.shortcutTextIsSecondary());
    EXPECT_EQ(view.recordButtonTitle(), "Cancel");
    for (const auto& [type, keyCode, flags, state, text] : c.steps) {
      bool recording = view.isRecording();
      EXPECT_EQ(monitor.deliver(type, keyCode, flags), !recording) << "consumed while recording";
      EXPECT_EQ(this->state(view), state) << text;
      EXPECT_EQ(view.shortcutText(), text);
    }
    EXPECT_EQ(config.modifiers(), c.stored);
    EXPECT_EQ(view.recordButtonTitle(), "Record Shortcut");
    EXPECT_FALSE(view.shortcutTextIsSecondary());
  }
}

TEST_F(RecorderTest, CancelClosingAndAMissingMonitorStoreNothing) {
  config.setModifiers(kCtrl | kCmd);
  SettingsView& view = open();
  view.toggleRecording();
  EXPECT_EQ(monitor.monitors.at(1).first, 0x1400u) << "key-down and flags-changed only";
  EXPECT_TRUE(monitor.deliver(kKeyUpEvent, 0)) << "key-ups are not watched";
  monitor.deliver(kFlags, 0, kCtrl | kAlt);
  view.toggleRecording();  // Cancel
  view.toggleRecording();
  monitor.deliver(kFlags, 0, kShift);
  view.contentDisappeared();  // the window closes
  EXPECT_EQ(state(view), "Idle");
  EXPECT_TRUE(monitor.monitors.empty());
  EXPECT_EQ(config.modifiers(), kCtrl | kCmd);
  EXPECT_EQ(open().shortcutText(), "⌃⌘") << "a reopened window is idle";

  monitor.refuse = true;  // recording still starts; Cancel ends it
  view.toggleRecording();
  EXPECT_EQ(state(view) + " " + view.shortcutText(), "no monitor Hold Modifiers");
  view.toggleRecording();
  EXPECT_EQ(state(view), "Idle");
}

}  // namespace
}  // namespace quorvelle
