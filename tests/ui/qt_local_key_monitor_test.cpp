// The Qt key monitor: each event handled once however far Qt hands it on,
// shortcuts kept from taking keys a monitor is to see, and removal from
// inside a handler.
#include "ui/qt_local_key_monitor.h"

#include <QShortcut>
#include <QTest>
#include <QVBoxLayout>
#include <QWidget>

#include <gmock/gmock.h>
#include <gtest/gtest.h>

#include "ui/key_events.h"

namespace quorvelle {
namespace {

using testing_support::XcbLikeKeyboard;

struct KeyMonitorTest : testing::Test {
  KeyMonitorTest() {
    auto* column = new QVBoxLayout(&window);
    child = new QWidget(&window);
    child->setFocusPolicy(Qt::StrongFocus);
    column->addWidget(child);
    window.show();
    window.activateWindow();
    EXPECT_TRUE(QTest::qWaitForWindowActive(&window));
    child->setFocus();
  }
  QWidget window;
  QWidget* child;
  QtLocalKeyMonitor monitor;
  XcbLikeKeyboard keyboard;
};

TEST_F(KeyMonitorTest, EachEventOnceWithTheHeldModifiers) {
  std::vector<KeyEvent> seen;
  monitor.addMonitor(kKeyDownAndFlagsChangedMask, [&](const KeyEvent& event) {
    seen.push_back(event);
    return true;  // passes: the plain widgets ignore it and Qt hands it to their parents
  });
  keyboard.press(XcbLikeKeyboard::kCtrlLeft);
  keyboard.press(XcbLikeKeyboard::kA);
  keyboard.release(XcbLikeKeyboard::kA);
  keyboard.press(XcbLikeKeyboard::kEscape);
  keyboard.release(XcbLikeKeyboard::kCtrlLeft);
  ASSERT_EQ(seen.size(), 4u);
  EXPECT_EQ(seen[0].type, kFlagsChangedEvent);
  EXPECT_EQ(seen[0].flags, kControlFlag);
  EXPECT_EQ(seen[1].type, kKeyDownEvent);
  EXPECT_EQ(seen[1].keyCode, kUnknownKeyCode);
  EXPECT_EQ(seen[1].flags, kControlFlag);
  EXPECT_EQ(seen[2].keyCode, kEscapeKeyCode);
  EXPECT_EQ(seen[3].flags, 0u);
}

TEST_F(KeyMonitorTest, ShortcutsDoNotTakeKeysWhileAMonitorWantsThem) {
  int triggered = 0;
  QShortcut close(QKeySequence("Ctrl+W"), &window);
  QObject::connect(&close, &QShortcut::activated, [&] { ++triggered; });
  QTest::keyClick(child, Qt::Key_W, Qt::ControlModifier);
  ASSERT_EQ(triggered, 1) << "the shortcut works without a monitor";

  int keyDowns = 0;
  auto token = monitor.addMonitor(kKeyDownAndFlagsChangedMask, [&](const KeyEvent& event) {
    if (event.type == kKeyDownEvent) {
      ++keyDowns;
      monitor.removeMonitor(1);  // its own removal, from inside
    }
    return false;
  });
  ASSERT_EQ(token, 1u);
  QTest::keyClick(child, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(triggered, 1);
  EXPECT_EQ(keyDowns, 1);
  QTest::keyClick(child, Qt::Key_W, Qt::ControlModifier);
  EXPECT_EQ(triggered, 2) << "removed monitors claim nothing";
}

}  // namespace
}  // namespace quorvelle
