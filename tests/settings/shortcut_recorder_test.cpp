// The hyper shortcut recorder, driven by the events its local key monitor
// receives: its states, what each event does in each, and what is stored.
#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"

namespace quorvelle {
namespace {

constexpr ModifierFlags kCtrl = kControlFlag;
constexpr ModifierFlags kAlt = kOptionFlag;
constexpr ModifierFlags kShift = kShiftFlag;
constexpr ModifierFlags kCmd = kCommandFlag;

struct RecorderTest : testing::Test, testing_support::SettingsFixture {
  RecorderTest() { config.setModifiers(kCtrl | kCmd); }

  // Idle, Waiting or Collecting, checked against every field that shows it.
  std::string state() const {
    const SettingsView& view = *views.back();
    bool monitor = view.hasEventMonitor();
    if (!view.isRecording()) return view.recordedFlags() == 0 && !monitor ? "Idle" : "broken idle";
    if (!monitor && !this->monitor.refuse) return "recording without a monitor";
    return view.recordedFlags() == 0 ? "Waiting" : "Collecting";
  }
};

struct Step {
  const char* what;
  std::uint32_t type;
  std::uint16_t keyCode;
  ModifierFlags flags;
  const char* state;
  const char* text;
};

TEST_F(RecorderTest, StateTable) {
  const ModifierFlags stored = kCtrl | kCmd;
  struct Case {
    const char* name;
    std::vector<Step> steps;
    ModifierFlags expected;
  };
  const std::vector<Case> cases = {
      {"three held, released in any order",
       {{"ctrl", kFlagsChangedEvent, 0, kCtrl, "Collecting", "⌃"},
        {"opt", kFlagsChangedEvent, 0, kCtrl | kAlt, "Collecting", "⌃⌥"},
        {"cmd", kFlagsChangedEvent, 0, kCtrl | kAlt | kCmd, "Collecting", "⌃⌥⌘"},
        {"ctrl up", kFlagsChangedEvent, 0, kAlt | kCmd, "Collecting", "⌃⌥⌘"},
        {"cmd up", kFlagsChangedEvent, 0, kAlt, "Collecting", "⌃⌥⌘"},
        {"opt up", kFlagsChangedEvent, 0, 0, "Idle", "⌃⌥⌘"}},
       kCtrl | kAlt | kCmd},
      {"the first moment with nothing held ends it",
       {{"ctrl", kFlagsChangedEvent, 0, kCtrl, "Collecting", "⌃"},
        {"ctrl up", kFlagsChangedEvent, 0, 0, "Idle", "⌃"}},
       kCtrl},
      {"caps lock and fn alone change nothing; fn bits are dropped",
       {{"caps", kFlagsChangedEvent, 0, kCapsLockFlag, "Waiting", "Hold Modifiers"},
        {"fn", kFlagsChangedEvent, 0, kFunctionFlag | 0x1, "Waiting", "Hold Modifiers"},
        {"fn up", kFlagsChangedEvent, 0, 0, "Waiting", "Hold Modifiers"},
        {"shift+fn", kFlagsChangedEvent, 0, kShift | kFunctionFlag | kNumericPadFlag, "Collecting", "⇧"},
        {"ctrl", kFlagsChangedEvent, 0, kShift | kCtrl, "Collecting", "⌃⇧"},
        {"all up", kFlagsChangedEvent, 0, 0, "Idle", "⌃⇧"}},
       kCtrl | kShift},
      {"a letter typed while holding is discarded",
       {{"shift+cmd", kFlagsChangedEvent, 0, kShift | kCmd, "Collecting", "⇧⌘"},
        {"A", kKeyDownEvent, 0, kShift | kCmd, "Collecting", "⇧⌘"},
        {"return", kKeyDownEvent, 36, kShift | kCmd, "Collecting", "⇧⌘"},
        {"all up", kFlagsChangedEvent, 0, 0, "Idle", "⇧⌘"}},
       kShift | kCmd},
      {"escape with modifiers held cancels",
       {{"ctrl", kFlagsChangedEvent, 0, kCtrl | kAlt, "Collecting", "⌃⌥"},
        {"escape", kKeyDownEvent, kEscapeKeyCode, kCtrl | kAlt, "Idle", "⌃⌘"},
        {"ctrl up", kFlagsChangedEvent, 0, 0, "Idle", "⌃⌘"}},
       stored},
      {"escape while waiting cancels",
       {{"escape", kKeyDownEvent, kEscapeKeyCode, 0, "Idle", "⌃⌘"}},
       stored},
  };
  for (const Case& c : cases) {
    SCOPED_TRACE(c.name);
    config.setModifiers(stored);
    SettingsView& view = open();
    EXPECT_EQ(state(), "Idle");
    view.toggleRecording();
    EXPECT_EQ(state(), "Waiting");
    EXPECT_EQ(view.shortcutText(), "Hold Modifiers");
    EXPECT_TRUE(view.shortcutTextIsSecondary());
    EXPECT_EQ(view.recordButtonTitle(), "Cancel");
    for (const Step& step : c.steps) {
      SCOPED_TRACE(step.what);
      // Consumed while recording; once idle, events pass again.
      bool recording = view.isRecording();
      EXPECT_EQ(monitor.deliver(step.type, step.keyCode, step.flags), !recording);
      EXPECT_EQ(state(), step.state);
      EXPECT_EQ(view.shortcutText(), step.text);
    }
    EXPECT_EQ(config.modifiers(), c.expected);
    EXPECT_EQ(view.recordButtonTitle(), "Record Shortcut");
    EXPECT_FALSE(view.shortcutTextIsSecondary());
    EXPECT_EQ(monitor.activeMonitors(), 0u);
  }
}

TEST_F(RecorderTest, OtherWaysOut) {
  SettingsView& view = open();
  view.toggleRecording();
  ASSERT_EQ(monitor.activeMonitors(), 1u);
  EXPECT_EQ(monitor.maskOf(1), 0x1400u) << "key-down and flags-changed only";
  EXPECT_TRUE(monitor.deliver(kKeyUpEvent, 0)) << "key-ups are not watched";
  monitor.flagsChanged(kCtrl | kAlt);
  view.toggleRecording();  // Cancel
  EXPECT_EQ(state(), "Idle");
  EXPECT_EQ(config.modifiers(), kCtrl | kCmd);

  view.toggleRecording();
  monitor.flagsChanged(kShift);
  view.contentDisappeared();  // the window closes
  EXPECT_EQ(state(), "Idle");
  EXPECT_EQ(monitor.activeMonitors(), 0u);
  EXPECT_EQ(config.modifiers(), kCtrl | kCmd);
  EXPECT_EQ(open().shortcutText(), "⌃⌘") << "a reopened window is idle";

  view.toggleRecording();
  views.clear();  // the content goes away mid-recording
  EXPECT_EQ(monitor.activeMonitors(), 0u);
}

TEST_F(RecorderTest, WithoutAMonitorTheRecordingStillRunsUntilCancelled) {
  monitor.refuse = true;
  SettingsView& view = open();
  view.toggleRecording();
  EXPECT_TRUE(view.isRecording());
  EXPECT_FALSE(view.hasEventMonitor());
  EXPECT_EQ(view.shortcutText(), "Hold Modifiers");
  view.toggleRecording();
  EXPECT_EQ(state(), "Idle");
  EXPECT_EQ(monitor.removals, 0);
}

}  // namespace
}  // namespace quorvelle
