// The shortcut recorder in a real window on an X server (run under
// xvfb-run): modifier keys pressed with xdotool end up as the hyper set.
#include <QApplication>
#include <QProcess>
#include <QTest>

#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/qt_wait.h"
#include "ui/settings_widget.h"

namespace quorvelle {
namespace {

// Keys go by raw X keycode (a keysym name would press the left key): Control
// 37 and 105, Shift 50, Super 133, Alt 64. Escape goes by name, as a
// one-digit number reads as a keysym.
bool xdotool(const QStringList& arguments) { return QProcess::execute("xdotool", arguments) == 0; }

struct RecorderXvfbTest : testing::Test, testing_support::SettingsFixture {
  RecorderXvfbTest() { keyMonitor = &qtMonitor; }
  QtLocalKeyMonitor qtMonitor;
};

TEST_F(RecorderXvfbTest, RealModifierKeysBecomeTheHyperSet) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  SettingsWidget widget(open());
  widget.show();
  widget.activateWindow();
  ASSERT_TRUE(QTest::qWaitForWindowActive(&widget, 10000));
  SettingsView& view = *views.back();

  // Left Control goes up while the right one is held: Qt's own modifier state
  // then reads no Control at all, and the recording must go on. Alt pressed
  // with Shift held is Meta_L in X's usual keymap: still Alt (Option).
  view.toggleRecording();
  ASSERT_TRUE(xdotool({"keydown", "37", "keydown", "105", "keyup", "37", "keydown", "50", "keydown", "64",
                       "keydown", "133", "keyup", "133", "keyup", "64", "keyup", "50", "keyup", "105"}));
  EXPECT_TRUE(testing_support::waitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag);
  EXPECT_EQ(defaults.values.at("modifierFlags"), PropertyValue(std::uint64_t{0x1E0000}));

  view.toggleRecording();
  ASSERT_TRUE(xdotool({"keydown", "64", "key", "Escape", "keyup", "64"}));
  EXPECT_TRUE(testing_support::waitFor([&] { return !view.isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kOptionFlag | kCommandFlag) << "Escape cancels";
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
