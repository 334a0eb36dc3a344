// The Qt key monitor hands each event on once, however far Qt passes it on
// (the window, the focus widget, its parents).
#include "ui/qt_local_key_monitor.h"

#include <QTest>
#include <QVBoxLayout>
#include <linux/input.h>

#include <set>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/key_events.h"

namespace quorvelle {
namespace {

using Keyboard = testing_support::XcbLikeKeyboard;

struct KeyMonitorTest : testing::Test {
  KeyMonitorTest() {
    (new QVBoxLayout(&window))->addWidget(child);
    child->setFocusPolicy(Qt::StrongFocus);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    child->setFocus();
  }
  QWidget window;
  QWidget* child = new QWidget(&window);
  std::set<std::uint16_t> pressedByEngine;  // Linux key codes
  QtLocalKeyMonitor monitor{[this](std::uint16_t code) { return pressedByEngine.count(code) > 0; }};
};

TEST_F(KeyMonitorTest, EachEventOnceWithTheHeldModifiers) {
  std::vector<KeyEvent> seen;
  monitor.addMonitor(kKeyDownAndFlagsChangedMask, [&](const KeyEvent& event) {
    seen.push_back(event);
    return true;  // passes on: plain widgets ignore keys, so Qt hands each to the parent too
  });
  Keyboard keyboard;
  for (auto key : {Keyboard::kCtrl, Keyboard::kA, Keyboard::kEscape}) keyboard.press(key);
  keyboard.release(Keyboard::kCtrl);
  // The engine presses Control with a key while Caps Lock is held: not the user's.
  pressedByEngine = {KEY_LEFTCTRL};
  keyboard.press(Keyboard::kCtrl);
  keyboard.press(Keyboard::kShift);
  pressedByEngine.clear();  // the user pressed it down again and holds it
  keyboard.press(Keyboard::kA);
  ASSERT_EQ(seen.size(), 7u);
  EXPECT_EQ(seen[4].flags, 0u);
  EXPECT_EQ(seen[5].flags, kShiftFlag);
  EXPECT_EQ(seen[6].flags, kShiftFlag | kControlFlag);
  seen.resize(4);
  std::vector<std::tuple<std::uint32_t, std::uint16_t, ModifierFlags>> got;
  for (const KeyEvent& e : seen) got.emplace_back(e.type, e.keyCode, e.flags);
  EXPECT_THAT(got, testing::ElementsAre(std::tuple(kFlagsChangedEvent, 0, kControlFlag),
                                        std::tuple(kKeyDownEvent, kUnknownKeyCode, kControlFlag),
                                        std::tuple(kKeyDownEvent, kEscapeKeyCode, kControlFlag),
                                        std::tuple(kFlagsChangedEvent, 0, 0)));
}

}  // namespace
}  // namespace quorvelle
