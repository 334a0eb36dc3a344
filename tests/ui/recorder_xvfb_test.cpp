// Real keys on an X server of the test's own, pressed with xdotool: the key
// monitor hands each event on once with the modifiers the user holds, and
// the shortcut recorder in the settings window takes every key while it
// records and stores the modifiers held.
#include <linux/input.h>

#include <QApplication>
#include <QProcess>
#include <QPushButton>
#include <QShortcut>
#include <QTest>
#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/qt_wait.h"
#include "ui/settings_widget.h"

namespace quorvelle {
namespace {

using testing_support::waitFor;

// Keys go by raw X keycode (a keysym name would press the left key): Control
// 37 and 105, Shift 50, Super 133, Alt 64, Return 36, Tab 23, A 38, W 25.
// Escape goes by name, as a one-digit number reads as a keysym.
bool xdotool(const QString& keys) { return QProcess::execute("xdotool", keys.split(' ')) == 0; }

struct RealKeys : testing::Test, testing_support::SettingsFixture {
  void SetUp() override {
    ASSERT_EQ(QGuiApplication::platformName(), "xcb");
    keyMonitor = &qtMonitor;
    widget = std::make_unique<SettingsWidget>(open());
    widget->show();
    widget->activateWindow();
    ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get(), 10000));
  }
  std::set<std::uint16_t> pressedByEngine;  // Linux key codes
  QtLocalKeyMonitor qtMonitor{[this](std::uint16_t code) { return pressedByEngine.count(code) > 0; }};
  std::unique_ptr<SettingsWidget> widget;
};

TEST_F(RealKeys, TheMonitorHandsOnEachEventOnceWithTheUsersModifiers) {
  std::vector<std::tuple<std::uint32_t, std::uint16_t, ModifierFlags>> seen;
  qtMonitor.addMonitor(kKeyDownAndFlagsChangedMask, [&](const KeyEvent& event) {
    seen.emplace_back(event.type, event.keyCode, event.flags);
    return true;  // passed on: Qt hands an ignored key to the parents too
  });
  ASSERT_TRUE(xdotool("keydown 37 key 38 key Escape keyup 37"));
  ASSERT_TRUE(waitFor([&] { return seen.size() >= 4; }));
  // The engine presses Control with a key while Caps Lock is held: not the user's.
  pressedByEngine = {KEY_LEFTCTRL};
  ASSERT_TRUE(xdotool("keydown 37 keydown 50"));
  ASSERT_TRUE(waitFor([&] { return seen.size() >= 6; }));
  pressedByEngine.clear();  // the user pressed it down again and holds it
  ASSERT_TRUE(xdotool("key 38 keyup 50 keyup 37"));
  ASSERT_TRUE(waitFor([&] { return seen.size() >= 9; }));
  QTest::qWait(50);
  EXPECT_THAT(seen, testing::ElementsAre(std::tuple(kFlagsChangedEvent, 0, kControlFlag),
                                         std::tuple(kKeyDownEvent, kUnknownKeyCode, kControlFlag),
                                         std::tuple(kKeyDownEvent, kEscapeKeyCode, kControlFlag),
                                         std::tuple(kFlagsChangedEvent, 0, 0), std::tuple(kFlagsChangedEvent, 0, 0),
                                         std::tuple(kFlagsChangedEvent, 0, kShiftFlag),
                                         std::tuple(kKeyDownEvent, kUnknownKeyCode, kShiftFlag | kControlFlag),
                                         std::tuple(kFlagsChangedEvent, 0, kControlFlag),
                                         std::tuple(kFlagsChangedEvent, 0, 0)));
}

TEST_F(RealKeys, RecordingTakesEveryKeyAndStoresTheModifiersHeld) {
  SettingsView& view = *views.back();
  int closed = 0;
  QShortcut close(QKeySequence("Ctrl+Shift+W"), widget.get());
  QObject::connect(&close, &QShortcut::activated, [&] { ++closed; });
  auto* record = widget->findChild<QPushButton*>("recordButton");
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(view.isRecording());
  // Left Control goes up while the right one is held: Qt's own modifier state
  // then reads no Control at all, and the recording must go on. Return (the
  // warning's button), Tab and a shortcut are taken by the recorder too. Alt
  // pressed with Shift held is Meta_L in X's usual keymap: still Alt (Option).
  ASSERT_TRUE(xdotool("keydown 37 keydown 105 keyup 37 keydown 50 key 36 key 23 key 25 keydown 64 keydown 133 "
                      "keyup 133 keyup 64 keyup 50 keyup 105"));
  EXPECT_TRUE(waitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag);
  EXPECT_EQ(defaults.values.at("modifierFlags"), PropertyValue(std::uint64_t{0x1E0000}));
  EXPECT_EQ(closed, 0);
  EXPECT_TRUE(workspace.openedURLs.empty());
  EXPECT_EQ(QApplication::focusWidget(), record) << "Tab moved nothing";

  view.toggleRecording();
  ASSERT_TRUE(xdotool("keydown 64 key Escape keyup 64"));
  EXPECT_TRUE(waitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag) << "Escape cancels";
  ASSERT_TRUE(xdotool("keydown 37 keydown 50 key 25 keyup 50 keyup 37"));
  EXPECT_TRUE(waitFor([&] { return closed == 1; })) << "keys reach the window again";

  view.toggleRecording();
  widget->hide();
  EXPECT_FALSE(view.isRecording()) << "hiding the content ends a recording";
}

}  // namespace
}  // namespace quorvelle
