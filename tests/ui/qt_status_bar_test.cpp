// The tray icon's looks and its menu's shortcuts as Qt draws them, offscreen
// (where no tray exists, which must stop nothing). What the menu shows is
// read over D-Bus in the real tray test.
#include <QApplication>
#include <QMenu>
#include <QTest>
#include <gtest/gtest.h>

#include "linux/temp_dir.h"
#include "qt_wait.h"
#include "sim/sim_desktop.h"
#include "sim/sim_services.h"
#include "statusitem/status_item_controller.h"
#include "test_symbols.h"
#include "ui/qt_status_bar.h"
#include "ui/status_icon.h"
#include "ui/tray_symbols.h"

namespace quorvelle {
namespace {

// How much dark paint the picture carries, 0 for an empty one.
double ink(const QPixmap& pixmap) {
  const QImage image = pixmap.toImage();
  double total = 0;
  for (int y = 0; y < image.height(); ++y) {
    for (int x = 0; x < image.width(); ++x) total += image.pixelColor(x, y).alphaF() * (1 - image.pixelColor(x, y).valueF());
  }
  return total;
}

struct QtStatusBarFixture : testing::Test {
  testing_support::TempDir dir;
  std::map<std::string, QIcon> symbols = testing_support::writeTestSymbols(dir);
  sim::MemoryDefaultsStore defaults;
  Config config{defaults};
  QtStatusBar bar{symbols, Qt::black};
  sim::SimWorkspace workspace;
  sim::SimApplication application;
  bool active = false;
  int settingsShown = 0;
  StatusItemController controller{bar, workspace, application, config, [this] { ++settingsShown; }, [] {}, [] {},
                                  [this] { return active; }};
};

TEST_F(QtStatusBarFixture, ThreeLooksWithoutATray) {
  ASSERT_FALSE(QtStatusBar::isTrayAvailable());
  const double outline = ink(renderStatusIcon(symbols["capslock"], false, 32));
  const double filled = ink(renderStatusIcon(symbols["capslock.fill"], false, 32));
  const double dimmed = ink(renderStatusIcon(symbols["capslock.fill"], true, 32));
  ASSERT_GT(outline, 0) << "the SVG icon engine is installed";
  EXPECT_GT(filled, outline * 1.3);
  EXPECT_LT(dimmed, filled * 0.8);
  EXPECT_GT(dimmed, 0);

  config.setEnabled(true);
  controller.showStatusItem();
  ASSERT_NE(bar.currentItem(), nullptr) << "an item all the same";
  auto look = [&] { return ink(bar.currentItem()->icon().pixmap(32, 32)); };
  EXPECT_DOUBLE_EQ(look(), dimmed);
  EXPECT_EQ(bar.currentItem()->trayIcon()->toolTip(), "Quorvelle");
  active = true;
  controller.updateIcon();
  EXPECT_DOUBLE_EQ(look(), filled);
  config.setEnabled(false);
  controller.updateIcon();
  EXPECT_DOUBLE_EQ(look(), outline);

  // Without its symbols the item is still there to open the menu from.
  QtStatusBar bare({{"capslock", QIcon()}}, Qt::black);
  StatusItemController missing(bare, workspace, application, config, {}, {}, {}, [] { return false; });
  missing.showStatusItem();
  EXPECT_TRUE(bare.currentItem()->trayIcon()->isVisible());
  EXPECT_GT(ink(bare.currentItem()->icon().pixmap(32, 32)), ink(renderStatusIcon(symbols["capslock"], false, 32)) / 4);
  config.setEnabled(true);
  missing.updateIcon();
  EXPECT_GT(ink(bare.currentItem()->icon().pixmap(32, 32)), 0) << "dimmed, drawn all the same";
}


// The symbols as the application draws them, light for dark panels and dark
// for light ones: the dimmed look is clearly fainter either way.
TEST(TraySymbols, LightOnDarkPanelsAndDimmedIsFainterOnEvery) {
  QPalette light(Qt::black, Qt::white), dark(Qt::white, QColor(0x20, 0x20, 0x20));
  EXPECT_EQ(trayForeground(light, "KDE"), QColor(Qt::black)) << "the scheme's own text colour";
  EXPECT_GT(trayForeground(light, "ubuntu:GNOME").lightness(), 200) << "a dark panel whatever the scheme";
  EXPECT_GT(trayForeground(dark, "KDE").lightness(), 200);
  for (const QColor& foreground : {QColor(Qt::black), trayForeground(dark, "KDE")}) {
    const auto symbols = traySymbols(foreground);
    auto paint = [&](bool dimmed) {
      const QImage image = renderStatusIcon(symbols.at("capslock.fill"), dimmed, 22).toImage();
      double alpha = 0;
      for (int y = 0; y < image.height(); ++y)
        for (int x = 0; x < image.width(); ++x) alpha += image.pixelColor(x, y).alphaF();
      return alpha;
    };
    ASSERT_GT(paint(false), 0) << "the symbols ship";
    EXPECT_LT(paint(true), paint(false) * 0.6) << foreground.name().toStdString();
  }
}

TEST_F(QtStatusBarFixture, CtrlShortcutsWorkWhileTheMenuIsOpen) {
  controller.showStatusItem();
  QMenu* menu = bar.currentItem()->trayIcon()->contextMenu();
  for (auto [key, done] : {std::pair{Qt::Key_Comma, &settingsShown}, std::pair{Qt::Key_Q, &application.terminations}}) {
    menu->popup(QPoint(10, 10));
    ASSERT_TRUE(testing_support::waitFor([&] { return menu->isVisible(); }));
    QTest::keyClick(menu, key, Qt::ControlModifier);
    EXPECT_EQ(*done, 1);
    EXPECT_FALSE(menu->isVisible());
  }
}

}  // namespace
}  // namespace quorvelle

int main(int argc, char** argv) {
  if (qEnvironmentVariableIsEmpty("QT_QPA_PLATFORM")) qputenv("QT_QPA_PLATFORM", "offscreen");
  QApplication app(argc, argv);
  testing::InitGoogleTest(&argc, argv);
  return RUN_ALL_TESTS();
}
