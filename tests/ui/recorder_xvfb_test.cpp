// The shortcut recorder in a real window on an X server (run under
// xvfb-run): real modifier keys pressed with xdotool, by raw keycode, end up
// as the hyper set in Config.
#include <QApplication>
#include <QElapsedTimer>
#include <QProcess>
#include <QPushButton>
#include <QTest>

#include <gtest/gtest.h>

#include "settings/settings_fixture.h"
#include "ui/qt_local_key_monitor.h"
#include "ui/settings_widget.h"

namespace quorvelle {
namespace {

// Raw X keycodes (keysym names would pick the left keys): Control 37 (left) and
// 105 (right), Shift 50, Super 133, Alt 64. A one-digit number would read as a
// keysym, so Escape goes by name.
bool xdotool(const QStringList& arguments) { return QProcess::execute("xdotool", arguments) == 0; }

bool spinUntil(const std::function<bool()>& condition) {
  QElapsedTimer clock;
  clock.start();
  while (!condition() && clock.elapsed() < 10000) QCoreApplication::processEvents(QEventLoop::AllEvents, 20);
  return condition();
}

struct RecorderXvfbTest : testing::Test, testing_support::SettingsFixture {
  RecorderXvfbTest() {
    keyMonitor = &qtMonitor;
    widget = std::make_unique<SettingsWidget>(open());
    widget->show();
    widget->activateWindow();
  }
  QtLocalKeyMonitor qtMonitor;
  std::unique_ptr<SettingsWidget> widget;
};

TEST_F(RecorderXvfbTest, RealModifierKeysBecomeTheHyperSet) {
  ASSERT_EQ(QGuiApplication::platformName(), "xcb");
  ASSERT_TRUE(QTest::qWaitForWindowActive(widget.get(), 10000));
  auto* record = widget->findChild<QPushButton*>("recordButton");
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(views.back()->isRecording());

  // Left Control goes up while the right one is held: Qt's own state then
  // reads no Control at all; the recording must go on.
  ASSERT_TRUE(xdotool({"keydown", "37", "keydown", "105", "keyup", "37", "keydown", "50", "keydown", "133",
                       "keyup", "133", "keyup", "50", "keyup", "105"}));
  EXPECT_TRUE(spinUntil([&] { return !views.back()->isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kCommandFlag);
  EXPECT_EQ(defaults.values.at("modifierFlags"), PropertyValue(std::uint64_t{0x160000}));

  // Escape while Alt is held cancels.
  QTest::mouseClick(record, Qt::LeftButton);
  ASSERT_TRUE(xdotool({"keydown", "64", "key", "Escape", "keyup", "64"}));
  EXPECT_TRUE(spinUntil([&] { return !views.back()->isRecording(); }));
  EXPECT_EQ(config.modifiers(), kControlFlag | kShiftFlag | kCommandFlag);
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
